#include "sigcheck/decoder.hpp"

#include "sdk/instruction.hpp"

#include <Zydis/Zydis.h>

#include <algorithm>
#include <cstring>

namespace sigcheck {

struct Decoder::State {
    ZydisDecoder decoder{};
    ZydisFormatter formatter{};
};

namespace {

struct Decoded {
    ZydisDecodedInstruction instruction{};
    std::array<ZydisDecodedOperand, ZYDIS_MAX_OPERAND_COUNT> operands{};
};

// The bytes from `rva` to the end of the section that holds it; empty outside every section.
std::span<const std::uint8_t> sectionBytesFrom(const pe::Headers& headers,
                                               std::span<const std::uint8_t> image, std::uint64_t rva) {
    const pe::Section* section = headers.sectionAt(rva);
    if (section == nullptr || rva >= image.size()) {
        return {};
    }
    const std::uint64_t end = std::min<std::uint64_t>(image.size(), std::uint64_t{section->virtualAddress} +
                                                                        section->virtualExtent());
    return image.subspan(static_cast<std::size_t>(rva), static_cast<std::size_t>(end - rva));
}

bool decodeAt(const ZydisDecoder& decoder, std::span<const std::uint8_t> bytes, Decoded& out) {
    return !bytes.empty() && ZYAN_SUCCESS(ZydisDecoderDecodeFull(&decoder, bytes.data(), bytes.size(),
                                                                 &out.instruction, out.operands.data()));
}

void markMoving(Instruction& instruction, std::size_t offset, std::size_t bits) {
    for (std::size_t i = offset; i < offset + bits / 8 && i < kMaxInstructionLength; ++i) {
        instruction.moving = static_cast<std::uint16_t>(instruction.moving | 1u << i);
    }
}

bool isGpr64(ZydisRegister reg) {
    return ZydisRegisterGetClass(reg) == ZYDIS_REGCLASS_GPR64;
}

// The register's x86-64 number, as the engine patterns' table names registers.
int registerNumber(ZydisRegister reg) {
    return static_cast<int>(ZydisRegisterGetId(reg));
}

// The visible memory operand, if any.
const ZydisDecodedOperand* memoryOperand(const Decoded& decoded) {
    const ZydisDecodedOperand* memory = nullptr;
    for (std::size_t i = 0; i < decoded.instruction.operand_count_visible; ++i) {
        if (decoded.operands[i].type == ZYDIS_OPERAND_TYPE_MEMORY) {
            memory = &decoded.operands[i];
        }
    }
    return memory;
}

bool isRipRelative(const ZydisDecodedOperand* memory) {
    return memory != nullptr && memory->mem.base == ZYDIS_REGISTER_RIP;
}

// Marks the bytes of `instruction` that change when code or data moves, and notes where its RIP-relative
// operand or relative branch points.
void findMovingBytes(const Decoded& decoded, const pe::Headers& headers, Instruction& instruction) {
    const ZydisDecodedInstruction& raw = decoded.instruction;
    // An address of this image, absolute (only images based below 4 GiB can hold one in 32 bits) ...
    const auto absolute = [&](std::uint64_t value) {
        return value >= headers.imageBase && value - headers.imageBase < headers.sizeOfImage;
    };
    // ... or relative to the image base, as code indexes its own tables from a register holding it.
    const auto relative = [&](std::uint64_t value) { return headers.sectionAt(value) != nullptr; };

    const ZydisDecodedOperand* memory = memoryOperand(decoded);
    const bool ripRelative = isRipRelative(memory);
    const std::uint64_t end = instruction.rva + raw.length;

    if (raw.raw.disp.size == 32) {
        const std::int32_t displacement =
            SDK::readDisplacement(instruction.bytes.data() + raw.raw.disp.offset);
        const auto value = static_cast<std::uint32_t>(displacement);
        const bool indexed =
            memory != nullptr && !ripRelative &&
            (memory->mem.base != ZYDIS_REGISTER_NONE || memory->mem.index != ZYDIS_REGISTER_NONE);
        if (ripRelative) {
            instruction.target = SDK::relativeTarget(end, displacement);
            instruction.ripDisplacementOffset = raw.raw.disp.offset;
        }
        if (ripRelative || absolute(value) || (indexed && relative(value))) {
            markMoving(instruction, raw.raw.disp.offset, 32);
        }
    } else if (raw.raw.disp.size == 64 && absolute(static_cast<std::uint64_t>(raw.raw.disp.value))) {
        markMoving(instruction, raw.raw.disp.offset, 64);
    }

    for (const auto& immediate : raw.raw.imm) {
        if (immediate.size == 0) {
            continue;
        }
        if (immediate.is_relative) {
            // A near branch's 32-bit offset changes whenever code between it and its target moves; a
            // short branch stays inside its own function, which moves as a whole.
            if (immediate.size == 32) {
                instruction.target = SDK::relativeTarget(
                    end, SDK::readDisplacement(instruction.bytes.data() + immediate.offset));
                markMoving(instruction, immediate.offset, 32);
            } else {
                instruction.target = end + static_cast<std::uint64_t>(immediate.value.s);
            }
        } else if ((immediate.size == 32 && absolute(immediate.value.u & 0xFFFF'FFFFu)) ||
                   (immediate.size == 64 && absolute(immediate.value.u))) {
            markMoving(instruction, immediate.offset, immediate.size);
        }
    }
}

// Which of the engine patterns' operations the instruction is, and its register; Other and -1 for
// everything else. The register rules of the patterns' shapes are the table's, not checked here.
void classify(const Decoded& decoded, Instruction& instruction) {
    const ZydisDecodedInstruction& raw = decoded.instruction;
    const ZydisDecodedOperand& first = decoded.operands[0];
    const ZydisDecodedOperand& second = decoded.operands[1];
    const bool twoOperands = raw.operand_count_visible == 2;
    const bool ripRelative = isRipRelative(memoryOperand(decoded));
    const bool intoGpr64 = first.type == ZYDIS_OPERAND_TYPE_REGISTER && isGpr64(first.reg.value);
    switch (raw.mnemonic) {
    case ZYDIS_MNEMONIC_MOV:
        if (twoOperands && ripRelative && intoGpr64 && second.type == ZYDIS_OPERAND_TYPE_MEMORY &&
            second.size == 64) {
            instruction.operation = Operation::LoadRipQword;
            instruction.reg = registerNumber(first.reg.value);
        }
        break;
    case ZYDIS_MNEMONIC_LEA:
        if (twoOperands && ripRelative && intoGpr64) {
            instruction.operation = Operation::LeaRip;
            instruction.reg = registerNumber(first.reg.value);
        }
        break;
    case ZYDIS_MNEMONIC_TEST:
        if (twoOperands && intoGpr64 && second.type == ZYDIS_OPERAND_TYPE_REGISTER &&
            first.reg.value == second.reg.value) {
            instruction.operation = Operation::TestSelf;
            instruction.reg = registerNumber(first.reg.value);
        }
        break;
    case ZYDIS_MNEMONIC_JNZ:
        if (raw.meta.branch_type == ZYDIS_BRANCH_TYPE_SHORT ||
            raw.meta.branch_type == ZYDIS_BRANCH_TYPE_NEAR) {
            instruction.operation = Operation::JumpIfNotZero;
        }
        break;
    case ZYDIS_MNEMONIC_CALL:
        if (raw.meta.branch_type == ZYDIS_BRANCH_TYPE_NEAR) {
            instruction.operation = Operation::NearCall;
        }
        break;
    default:
        break;
    }
}

} // namespace

Decoder::Decoder(const pe::Headers& headers, std::span<const std::uint8_t> image)
    : headers_(headers), image_(image), state_(std::make_unique<State>()) {
    ZydisDecoderInit(&state_->decoder, ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64);
    ZydisFormatterInit(&state_->formatter, ZYDIS_FORMATTER_STYLE_INTEL);
    // Targets are RVAs, short enough without padding to 64 bits.
    ZydisFormatterSetProperty(&state_->formatter, ZYDIS_FORMATTER_PROP_ADDR_PADDING_ABSOLUTE,
                              ZYDIS_PADDING_DISABLED);
}

Decoder::~Decoder() = default;

std::optional<Instruction> Decoder::decode(std::uint64_t rva) const {
    const std::span<const std::uint8_t> bytes = sectionBytesFrom(headers_, image_, rva);
    Decoded decoded;
    if (!decodeAt(state_->decoder, bytes, decoded)) {
        return std::nullopt;
    }
    Instruction instruction;
    instruction.rva = rva;
    instruction.length = decoded.instruction.length;
    std::memcpy(instruction.bytes.data(), bytes.data(), instruction.length);
    findMovingBytes(decoded, headers_, instruction);
    classify(decoded, instruction);
    return instruction;
}

std::string Decoder::format(const Instruction& instruction) const {
    Decoded decoded;
    if (!decodeAt(state_->decoder,
                  std::span<const std::uint8_t>(instruction.bytes.data(), instruction.length), decoded)) {
        return "(undecodable)";
    }
    char text[256];
    if (!ZYAN_SUCCESS(ZydisFormatterFormatInstruction(
            &state_->formatter, &decoded.instruction, decoded.operands.data(),
            decoded.instruction.operand_count_visible, text, sizeof text, instruction.rva, nullptr))) {
        return "(unformattable)";
    }
    return text;
}

} // namespace sigcheck
