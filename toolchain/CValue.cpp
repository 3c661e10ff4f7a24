#include "toolchain/CValue.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace toolchain {
namespace cvalue {

const Type* typeOf(const CValue& value, const Program& program)
{
    if (value.type < 0 || value.type >= static_cast<int>(program.types.size()))
        return nullptr;
    return &program.types[static_cast<std::size_t>(value.type)];
}

int sizeOf(const CValue& value, const Program& program)
{
    const Type* type = typeOf(value, program);
    return type ? type->size : 1;
}

Location offsetBy(const Location& location, int offset)
{
    Location moved = location;
    if (location.space == Storage::Register) {
        const auto from = std::min<std::size_t>(static_cast<std::size_t>(offset), location.registers.size());
        moved.registers.assign(location.registers.begin() + static_cast<std::ptrdiff_t>(from), location.registers.end());
    } else {
        moved.address = location.address + static_cast<uint32_t>(offset);
    }
    moved.bitOffset = moved.bitWidth = 0;
    return moved;
}

namespace {

std::optional<uint8_t> byteAt(const Location& location, int index, const MemoryAccess& memory)
{
    if (location.space == Storage::Register) {
        if (static_cast<std::size_t>(index) >= location.registers.size())
            return std::nullopt;
        return memory.read(Storage::InternalRam, static_cast<uint32_t>(location.registers[static_cast<std::size_t>(index)]));
    }
    return memory.read(location.space, location.address + static_cast<uint32_t>(index));
}

bool storeByte(const Location& location, int index, uint8_t byte, MemoryAccess& memory)
{
    if (location.space == Storage::Register) {
        if (static_cast<std::size_t>(index) >= location.registers.size())
            return false;
        return memory.write(Storage::InternalRam, static_cast<uint32_t>(location.registers[static_cast<std::size_t>(index)]), byte);
    }
    return memory.write(location.space, location.address + static_cast<uint32_t>(index), byte);
}

} // namespace

std::optional<uint64_t> loadBits(const CValue& value, const Program& program, const MemoryAccess& memory)
{
    if (!value.location)
        return static_cast<uint64_t>(value.integer);
    const Location& at = *value.location;
    const int size = std::min(sizeOf(value, program), 8);
    uint64_t bits = 0;
    for (int i = 0; i < size; ++i) {
        const std::optional<uint8_t> byte = byteAt(at, i, memory);
        if (!byte)
            return std::nullopt;
        bits |= static_cast<uint64_t>(at.space == Storage::Bit ? (*byte & 1) : *byte) << (8 * i);
    }
    if (at.bitWidth > 0)
        bits = (bits >> at.bitOffset) & ((uint64_t{1} << at.bitWidth) - 1);
    return bits;
}

std::optional<int64_t> loadInteger(const CValue& value, const Program& program, const MemoryAccess& memory)
{
    if (!value.location)
        return value.isFloat ? static_cast<int64_t>(value.real) : value.integer;
    const Type* type = typeOf(value, program);
    if (type && type->kind == Type::Kind::Float) {
        const std::optional<double> number = loadNumber(value, program, memory);
        return number ? std::optional<int64_t>(static_cast<int64_t>(*number)) : std::nullopt;
    }
    const std::optional<uint64_t> bits = loadBits(value, program, memory);
    if (!bits)
        return std::nullopt;
    if (type && type->kind == Type::Kind::Pointer) {
        const std::optional<Location> target = pointee(value, program, memory);
        return target ? std::optional<int64_t>(target->address) : std::nullopt;
    }
    const int width = value.location->bitWidth > 0 ? value.location->bitWidth : 8 * std::min(sizeOf(value, program), 8);
    const bool isSigned = type && type->kind == Type::Kind::Integer && type->isSigned;
    if (isSigned && width < 64 && (*bits >> (width - 1)) & 1)
        return static_cast<int64_t>(*bits | (~uint64_t{0} << width));
    return static_cast<int64_t>(*bits);
}

std::optional<double> loadNumber(const CValue& value, const Program& program, const MemoryAccess& memory)
{
    if (!value.location)
        return value.isFloat ? value.real : static_cast<double>(value.integer);
    const Type* type = typeOf(value, program);
    if (type && (type->kind == Type::Kind::Struct || type->kind == Type::Kind::Union || type->kind == Type::Kind::Array))
        return std::nullopt;
    if (type && type->kind == Type::Kind::Float && type->size == 4) {
        const std::optional<uint64_t> bits = loadBits(value, program, memory);
        if (!bits)
            return std::nullopt;
        const auto word = static_cast<uint32_t>(*bits);
        float f;
        std::memcpy(&f, &word, sizeof f);
        return f;
    }
    const std::optional<int64_t> integer = loadInteger(value, program, memory);
    return integer ? std::optional<double>(static_cast<double>(*integer)) : std::nullopt;
}

std::optional<Location> pointee(const CValue& pointer, const Program& program, const MemoryAccess& memory)
{
    const Type* type = typeOf(pointer, program);
    if (!type || type->kind != Type::Kind::Pointer)
        return std::nullopt;
    CValue raw = pointer;
    raw.type = -1;
    std::optional<uint64_t> bits;
    if (pointer.location) {
        bits = 0;
        for (int i = 0; i < std::min(type->size, 3); ++i) {
            CValue byte = raw;
            byte.location = offsetBy(*pointer.location, i);
            const std::optional<uint64_t> b = loadBits(byte, program, memory);
            if (!b)
                return std::nullopt;
            *bits |= *b << (8 * i);
        }
    } else {
        bits = static_cast<uint64_t>(pointer.integer);
    }
    Location target;
    target.address = static_cast<uint32_t>(*bits & (type->size == 1 ? 0xFF : 0xFFFF));
    target.space = type->space;
    if (type->generic) {
        // SDCC's generic pointers carry their memory in the third byte.
        const auto tag = static_cast<uint8_t>(*bits >> 16);
        target.space = tag >= 0x80 ? Storage::Code : tag >= 0x40 && tag < 0x60 ? Storage::InternalRam : Storage::ExternalRam;
    }
    if (target.space == Storage::InternalRam)
        target.address &= 0xFF;
    return target;
}

} // namespace cvalue

using namespace cvalue;

namespace {

std::string shortest(double number, bool single)
{
    char text[64];
    const auto done = single ? std::to_chars(text, text + sizeof text, static_cast<float>(number))
                             : std::to_chars(text, text + sizeof text, number);
    return std::string(text, done.ptr);
}

const char* spaceName(Storage space)
{
    switch (space) {
    case Storage::Code: return "code";
    case Storage::ExternalRam: return "xdata";
    default: return "data";
    }
}

std::string hex(uint64_t value, int digits)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[value & 15];
    return text;
}

std::string formatAt(const CValue& value, const Program& program, const MemoryAccess& memory, ValueStyle style, int depth);

std::string formatAggregate(const CValue& value, const Program& program, const MemoryAccess& memory, ValueStyle style,
                            int depth)
{
    const Type& type = *typeOf(value, program);
    if (depth > 3)
        return type.kind == Type::Kind::Array ? "[...]" : "{...}";
    const Type* element = type.kind == Type::Kind::Array ? typeOf(CValue{type.target, {}, false, 0, 0}, program) : nullptr;
    if (style == ValueStyle::Rich && element && element->size == 1 && element->name.find("char") != std::string::npos) {
        std::string text = "\"";
        for (int i = 0; i < type.count; ++i) {
            const std::optional<uint8_t> byte = memory.read(value.location->space, value.location->address + static_cast<uint32_t>(i));
            if (!byte || *byte == 0)
                break;
            text += *byte >= 32 && *byte < 127 ? static_cast<char>(*byte) : '.';
        }
        return text + "\"";
    }
    const bool isArray = type.kind == Type::Kind::Array;
    std::string text = isArray ? "[" : "{";
    const auto children = ChildrenOf(value, program, memory, 16);
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (i)
            text += ", ";
        if (!isArray)
            text += children[i].first + "=";
        text += formatAt(children[i].second, program, memory, style, depth + 1);
    }
    if (isArray && type.count > 16)
        text += ", ...";
    return text + (isArray ? "]" : "}");
}

std::string formatAt(const CValue& value, const Program& program, const MemoryAccess& memory, ValueStyle style, int depth)
{
    const Type* type = typeOf(value, program);
    if (!value.location && (!type || type->kind != Type::Kind::Pointer))
        return value.isFloat ? shortest(value.real, false) : std::to_string(value.integer);
    if (!type) {
        const std::optional<uint64_t> byte = loadBits(value, program, memory);
        return byte ? hex(*byte, 2) : "?";
    }
    switch (type->kind) {
    case Type::Kind::Struct:
    case Type::Kind::Union:
    case Type::Kind::Array:
        return value.location ? formatAggregate(value, program, memory, style, depth) : "?";
    case Type::Kind::Pointer: {
        const std::optional<Location> target = pointee(value, program, memory);
        if (!target)
            return "?";
        std::string text = "0x" + hex(target->address, 4);
        return style == ValueStyle::Rich ? text + " (" + spaceName(target->space) + ")" : text;
    }
    case Type::Kind::Float: {
        const std::optional<double> number = loadNumber(value, program, memory);
        return number ? shortest(*number, type->size == 4) : "?";
    }
    case Type::Kind::Void: return "void";
    default: break;
    }
    const std::optional<int64_t> integer = loadInteger(value, program, memory);
    if (!integer)
        return "?";
    std::string text = std::to_string(*integer);
    if (style == ValueStyle::Rich && type->size == 1 && type->name.find("char") != std::string::npos && *integer >= 32
        && *integer < 127)
        text += std::string(" '") + static_cast<char>(*integer) + "'";
    return text;
}

// A C constant: decimal, 0x.., 0b.., a character, a float.
std::optional<double> parseConstant(std::string_view text, bool& isFloat)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    isFloat = false;
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'')
        return negative ? -double(static_cast<uint8_t>(text[1])) : double(static_cast<uint8_t>(text[1]));
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X' || text[1] == 'b' || text[1] == 'B')) {
        base = (text[1] == 'x' || text[1] == 'X') ? 16 : 2;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    if (base == 10 && text.find_first_of(".eE") != std::string_view::npos) {
        double real = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), real);
        if (error != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        isFloat = true;
        return negative ? -real : real;
    }
    uint64_t integer = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), integer, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return negative ? -static_cast<double>(integer) : static_cast<double>(integer);
}

} // namespace

std::string FormatValue(const CValue& value, const Program& program, const MemoryAccess& memory, ValueStyle style)
{
    return formatAt(value, program, memory, style, 0);
}

std::optional<double> NumberOf(const CValue& value, const Program& program, const MemoryAccess& memory)
{
    return loadNumber(value, program, memory);
}

bool HasChildren(const CValue& value, const Program& program)
{
    const Type* type = typeOf(value, program);
    if (!type)
        return false;
    if (type->kind == Type::Kind::Pointer) {
        const Type* target = typeOf(CValue{type->target, {}, false, 0, 0}, program);
        return target && target->kind != Type::Kind::Void;
    }
    return type->kind == Type::Kind::Struct || type->kind == Type::Kind::Union || type->kind == Type::Kind::Array;
}

std::vector<std::pair<std::string, CValue>> ChildrenOf(const CValue& value, const Program& program,
                                                        const MemoryAccess& memory, std::size_t limit)
{
    std::vector<std::pair<std::string, CValue>> children;
    const Type* type = typeOf(value, program);
    if (!type || !HasChildren(value, program))
        return children;
    if (type->kind == Type::Kind::Pointer) {
        if (const std::optional<Location> target = pointee(value, program, memory))
            children.emplace_back("*", CValue{type->target, *target, false, 0, 0});
        return children;
    }
    if (!value.location)
        return children;
    if (type->kind == Type::Kind::Array) {
        const int elementSize = type->count ? type->size / type->count : 0;
        for (int i = 0; i < type->count && children.size() < limit; ++i)
            children.emplace_back("[" + std::to_string(i) + "]",
                                  CValue{type->target, offsetBy(*value.location, i * elementSize), false, 0, 0});
        return children;
    }
    for (const Field& field : type->fields) {
        if (children.size() >= limit)
            break;
        Location at = offsetBy(*value.location, field.offset);
        at.bitOffset = field.bitOffset;
        at.bitWidth = field.bitWidth;
        children.emplace_back(field.name, CValue{field.type, at, false, 0, 0});
    }
    return children;
}

std::string TypeName(const CValue& value, const Program& program)
{
    const Type* type = typeOf(value, program);
    return type ? type->name : std::string();
}

std::string Assign(const CValue& value, std::string_view text, const Program& program, MemoryAccess& memory)
{
    if (!value.location)
        return "this value has no place in memory";
    const Type* type = typeOf(value, program);
    if (type && (type->kind == Type::Kind::Struct || type->kind == Type::Kind::Union || type->kind == Type::Kind::Array))
        return "only a number can be written; choose a field or an element";
    if (value.location->space == Storage::Code)
        return "code memory cannot be written";
    bool isFloat = false;
    const std::optional<double> number = parseConstant(text, isFloat);
    if (!number)
        return "'" + std::string(text) + "' is not a number";
    const int size = std::min(sizeOf(value, program), 8);
    uint64_t bits = 0;
    if (type && type->kind == Type::Kind::Float && size == 4) {
        const auto f = static_cast<float>(*number);
        uint32_t word;
        std::memcpy(&word, &f, sizeof word);
        bits = word;
    } else {
        if (isFloat && std::floor(*number) != *number)
            return "'" + std::string(text) + "' is not a whole number";
        const int width = value.location->bitWidth > 0 ? value.location->bitWidth
                          : value.location->space == Storage::Bit ? 1 : 8 * size;
        const bool isSigned = type && type->kind == Type::Kind::Integer && type->isSigned;
        const double low = isSigned ? -std::ldexp(1.0, width - 1) : 0;
        const double high = isSigned ? std::ldexp(1.0, width - 1) - 1 : std::ldexp(1.0, width) - 1;
        if (type && type->kind == Type::Kind::Pointer) {
            if (*number < 0 || *number > (type->size == 1 ? 0xFF : 0xFFFF))
                return "'" + std::string(text) + "' is not an address";
        } else if (*number < low || *number > high) {
            return std::string(text) + " does not fit in " + (type ? type->name : std::string("a byte"));
        }
        bits = static_cast<uint64_t>(static_cast<int64_t>(*number));
        if (width < 64)
            bits &= (uint64_t{1} << width) - 1;
    }
    const Location& at = *value.location;
    if (at.bitWidth > 0) {
        CValue whole = value;
        whole.location->bitOffset = whole.location->bitWidth = 0;
        const std::optional<uint64_t> old = loadBits(whole, program, memory);
        if (!old)
            return "the memory cannot be read";
        const uint64_t mask = ((uint64_t{1} << at.bitWidth) - 1) << at.bitOffset;
        bits = (*old & ~mask) | ((bits << at.bitOffset) & mask);
    }
    const int bytes = type && type->kind == Type::Kind::Pointer && type->generic ? std::min(size, 2) : size;
    for (int i = 0; i < bytes; ++i)
        if (!storeByte(at, i, static_cast<uint8_t>(bits >> (8 * i)), memory))
            return "the memory cannot be written";
    return {};
}

} // namespace toolchain
