// The gateway's decisions on any bytes: what a client sends is cut into frames, each a request
// that goes to the line or gets an exception, or the client is dropped; what the line brings back
// gives an answer only when it answers that very request (checked here on the frame's own bytes),
// and never crashes.
//
// Input: a flags byte (bit 0: Routing Mode, bit 1: the line owes an earlier request a late
// answer), a byte for how many of the following bytes are the client's, the client's bytes, then
// the line's.

#include "fuzz_support.h"
#include "gateway/gateway_rules.h"

#include <cstdint>

using namespace fabricor;
using namespace fabricor::gateway;

namespace {

const std::vector<TMyRec> kRows = {
    {3, 65530, 1, 0, 127, ""}, {3, 100, 2, 65530, 100, ""}, {1, 0, 3, 10, 127, ""},
    {2, 0, 4, 0, 127, ""},     {4, 0, 0, 0, 10, ""},        {4, 10, 250, 0, 10, ""},
};

uint16_t Word(const uint8_t* at) {
    return uint16_t((at[0] << 8) | at[1]);
}

bool CrcHolds(const uint8_t* frame, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i + 2 < length; ++i) {
        crc ^= frame[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return frame[length - 2] == uint8_t(crc) && frame[length - 1] == uint8_t(crc >> 8);
}

// Whether the RTU frame answers `request`, read from the frame by Modbus's rules.
bool Answers(const RtuRequest& request, const uint8_t* frame, size_t length) {
    const Bytes& pdu = request.pdu;
    if (length < 5 || frame[0] != request.slave || !CrcHolds(frame, length))
        return false;
    if (frame[1] == (pdu[0] | 0x80))
        return length == 5;
    if (frame[1] != pdu[0])
        return false;
    switch (pdu[0]) {
    case 1:
    case 2:
        return frame[2] == (Word(&pdu[3]) + 7) / 8 && length == 5u + frame[2];
    case 3:
    case 4:
    case 0x17:
        return frame[2] == 2 * Word(&pdu[3]) && length == 5u + frame[2];
    case 5:
    case 6:
    case 15:
    case 16:
        return length == 8 && Bytes(frame + 2, frame + 6) == Bytes(pdu.begin() + 1, pdu.begin() + 5);
    case 0x16:
        return length == 10 && Bytes(frame + 2, frame + 8) == Bytes(pdu.begin() + 1, pdu.begin() + 7);
    case 7:
        return length == 5;
    case 0x11:
        return length == 5u + frame[2];
    default:
        return false;
    }
}

void Line(const TcpFrame& client, const RtuRequest& request, const RtuRequest* owed,
          const uint8_t* data, size_t size) {
    Bytes heard(data, data + size);
    for (;;) {
        const auto verdict = JudgeLine(request, owed, heard.data(), heard.size());
        if (verdict.kind == LineVerdict::Kind::Wait)
            return;
        FUZZ_CHECK(verdict.offset + verdict.length <= heard.size());
        const uint8_t* frame = heard.data() + verdict.offset;
        FUZZ_CHECK(Answers(request, frame, verdict.length));
        if (verdict.kind == LineVerdict::Kind::Stale) {
            FUZZ_CHECK(owed && Answers(*owed, frame, verdict.length));
            heard.erase(heard.begin(), heard.begin() + ptrdiff_t(verdict.offset + verdict.length));
            owed = nullptr;
            continue;
        }
        const Bytes answer =
            AnswerForClient(client.pdu, Bytes(frame + 1, frame + verdict.length - 2));
        FUZZ_CHECK(answer[0] == client.pdu[0] || answer[0] == (client.pdu[0] | 0x80));
        // A write's echo is the client's own request, its address included.
        const uint8_t f = client.pdu[0];
        if ((f == 5 || f == 6 || f == 15 || f == 16) && answer[0] == f)
            FUZZ_CHECK(answer == Bytes(client.pdu.begin(), client.pdu.begin() + 5));
        return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const bool routing = data[0] & 1;
    const bool owing = data[0] & 2;
    const size_t clientSize = std::min<size_t>(size_t(data[1]) * 2, size - 2);
    const uint8_t* stream = data + 2;
    const uint8_t* line = stream + clientSize;
    const size_t lineSize = size - 2 - clientSize;

    for (size_t used = 0; used < clientSize;) {
        const auto scan = ScanTcpFrame(stream + used, clientSize - used);
        if (scan.status == FrameStatus::NeedMore)
            break;
        if (scan.status == FrameStatus::Malformed) {
            FUZZ_CHECK(!scan.problem.empty());
            break;
        }
        FUZZ_CHECK(scan.length >= 8 && scan.length <= clientSize - used);
        FUZZ_CHECK(scan.frame.pdu.size() + 7 == scan.length);
        used += scan.length;
        const TcpFrame& frame = scan.frame;
        const auto decision =
            routing ? DecideRouting(frame.unit, frame.pdu) : DecideNat(kRows, frame.pdu);
        switch (decision.kind) {
        case Decision::Kind::Exception: {
            const uint8_t code = decision.exception;
            FUZZ_CHECK(code == kIllegalFunction || code == kIllegalDataAddress ||
                       code == kIllegalDataValue || code == kGatewayPathUnavailable);
            FUZZ_CHECK(ExceptionPdu(frame.pdu[0], code).size() == 2);
            break;
        }
        case Decision::Kind::Broadcast:
            FUZZ_CHECK(routing && decision.slave == 0 && frame.unit == 0);
            FUZZ_CHECK(decision.rtuPdu == frame.pdu && !RequestException(frame.pdu));
            FUZZ_CHECK(frame.pdu[0] == 5 || frame.pdu[0] == 6 || frame.pdu[0] == 15 ||
                       frame.pdu[0] == 16 || frame.pdu[0] == 0x16);
            break;
        case Decision::Kind::Forward: {
            FUZZ_CHECK(decision.slave >= 1 && decision.slave <= 247);
            // What goes on the line is a request Modbus allows, one RTU frame long.
            FUZZ_CHECK(decision.rtuPdu.size() == frame.pdu.size() && decision.rtuPdu.size() <= 253);
            FUZZ_CHECK(decision.rtuPdu[0] == frame.pdu[0] && !RequestException(decision.rtuPdu));
            FUZZ_CHECK(AnswerFrameLength(decision.rtuPdu) <= 256);
            const RtuRequest request{decision.slave, decision.rtuPdu};
            RtuRequest owed = request;
            if (owed.pdu.size() >= 3)
                owed.pdu[2] ^= data[0];
            Line(frame, request, owing ? &owed : nullptr, line, lineSize);
            break;
        }
        }
    }
    return 0;
}
