#pragma once

#include "base/status.h"
#include "documents/pargen.h"
#include "documents/var.h"
#include "image/configuration_image.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fabricor {

// A configuration image read back into the two documents' texts. The image holds no mnemonics,
// so every row's MNEMONIC is empty.
struct DecodedProject {
    std::array<std::string, kGeneralParameterCount> pargen; // document texts, table order
    std::vector<TMyRec> rows; // the records up to the first all-zero slot
    uint16_t timeWord = 0;    // as PackBuildTime stores it
    uint16_t dateWord = 0;    // as PackBuildDate stores it
};

DecodedProject DecodeImage(const ConfigurationImage& image);

// "14:35:46 on 2026-12-08" (the year taken as 20yy, the second even as the word keeps it), or
// "not a valid time (time word T, date word D)" when a part is out of its range.
std::string DescribeBuildWords(uint16_t timeWord, uint16_t dateWord);

// Every field where two images differ, the build time and date words aside, in the documents'
// terms, one line each:
//   var.xml row 17 RTU_ADDRESS: project 100, firmware 101
//   pargen.xml TCP_PORT: project 502, firmware 503
// nameA and nameB say which is which ("project", "firmware").
std::vector<std::string> CompareImages(const ConfigurationImage& a, const ConfigurationImage& b,
                                       std::string_view nameA, std::string_view nameB);

// A value of a project's documents that its image field cannot hold, so that the image keeps
// only part of it (TCP_PORT 67038 is stored as 1502; RTU_ADD_DEV 258 as 2; a community name
// longer than 13 bytes loses its end): where the field begins in the image, and the value as
// the document says it ("67038", "\"a long community\"").
struct UnheldValue {
    size_t offset = 0;
    std::string said;
};

// Every such value of the project whose documents are at these paths, in image order; nothing
// for a document that cannot be read (the build says why).
std::vector<UnheldValue> ValuesTheImageCannotHold(const std::string& varPath,
                                                  const std::string& pargenPath);

// One side of a comparison: an image, its name ("project", "A"), and when it was built from a
// project, what that project says where its image cannot hold it.
struct ComparedImage {
    const ConfigurationImage& image;
    std::string_view name;
    std::vector<UnheldValue> unheld;
};

// CompareImages comparing what each side says: a project's value its image cannot hold is
// compared as the project says it, so that it is a difference even when the stored bits agree:
//   var.xml row 2 RTU_ADD_DEV: project 258, stored as 2
// (the other side holds what 258 is stored as), or, when they do not agree either,
//   pargen.xml TCP_PORT: project 67038 (stored as 1502), firmware 502
std::vector<std::string> CompareSides(const ComparedImage& a, const ComparedImage& b);

// Writes folder/pargen.xml and folder/var.xml for the decoded project: both or neither. An
// existing pargen.xml or var.xml in the folder is never replaced (the call fails instead).
// A missing folder is created (not its parents).
// `notes` receives what the project cannot carry (a field the documents cannot give back the
// same bytes for), checked by building the written documents again.
Status WriteDecodedProject(const std::string& folder, const ConfigurationImage& image,
                           std::vector<std::string>& notes);

} // namespace fabricor
