#pragma once

#include "reader/simulated_reader.h"

#include <vector>

// A simulated reader that remembers every command record it was sent.
class RecordingReader : public ostrel::reader::SimulatedReader {
public:
    std::int32_t ExchangeAPDU(std::int32_t handle,
                              ostrel::reader::CommandRecord& command) override {
        sent.push_back(command);
        return SimulatedReader::ExchangeAPDU(handle, command);
    }
    int count(std::uint8_t ins) const {
        int n = 0;
        for (const auto& c : sent)
            n += c.ins == ins;
        return n;
    }
    std::vector<ostrel::reader::CommandRecord> sent;
};
