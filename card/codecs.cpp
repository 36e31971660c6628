#include "codecs.h"

namespace ostrel::card {

std::uint16_t Crc16Step(std::uint16_t crc, std::uint8_t byte) {
    unsigned value = crc ^ (static_cast<unsigned>(byte) << 8);
    for (int i = 0; i < 8; ++i) {
        value = (value & 0x8000u) ? (((value << 1) & 0xFFFFu) ^ 0x1021u) : ((value << 1) & 0xFFFFu);
    }
    return static_cast<std::uint16_t>(value);
}

std::uint16_t Crc16Range(const CardMemory& memory, int start, int count) {
    std::uint16_t crc = 0;
    for (int i = 0; i < count; ++i) {
        crc = Crc16Step(crc, memory.at(static_cast<std::size_t>(start + i)));
    }
    return crc;
}

std::int64_t ReadCardLong(const CardMemory& memory, int offset) {
    std::int64_t result = 0;
    for (int i = 0; i < 4; ++i) {
        result = result * 256 + memory.at(static_cast<std::size_t>(offset + i));
    }
    return result;
}

void WriteCardLong(CardMemory& memory, int offset, std::int64_t value) {
    for (int i = 3; i >= 0; --i) {
        // Floor division keeps negative values in two's complement.
        std::int64_t remainder = value % 256;
        if (remainder < 0) {
            remainder += 256;
        }
        memory.at(static_cast<std::size_t>(offset + i)) = static_cast<std::uint8_t>(remainder);
        value = (value - remainder) / 256;
    }
}

std::string ByteToHex(std::uint8_t byte) {
    const auto digits = base::HexDigits(byte);
    return {digits[0], digits[1]};
}

} // namespace ostrel::card
