#pragma once

// The 2000-row table the probe benchmarks read: every data type in turn, 1 to 16 objects a
// row, all on RTU device 1 within the 200 objects of each kind the bench's RTU slave holds.

#include "documents/var.h"

#include <vector>

inline std::vector<fabricor::TMyRec> BenchProbeTable() {
    std::vector<fabricor::TMyRec> rows;
    for (int i = 0; i < 2000; ++i) {
        const uint8_t points = uint8_t(1 + i % 16);
        rows.push_back({uint8_t(1 + i % 4), uint16_t(i * 20), 1, uint16_t((i * 7) % 180), points,
                        "r" + std::to_string(i + 1)});
    }
    return rows;
}
