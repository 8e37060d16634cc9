// Board description files and the emulated configuration ports and memory.
#include "hw/board.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace cvx::hw {

namespace {

// A ROM image larger than this is a typo, not a board.
constexpr size_t kMaxRom = 16u << 20;

struct Token {
    std::string text;
    bool quoted = false;
};

bool tokenize(const std::string& line, std::vector<Token>& out, std::string& error)
{
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token t;
            t.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    t.text += line[i + 1];
                    i += 2;
                } else if (line[i] == '"') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    t.text += line[i++];
                }
            }
            if (!closed) {
                error = "unterminated text";
                return false;
            }
            out.push_back(std::move(t));
        } else {
            Token t;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#')
                t.text += line[i++];
            out.push_back(std::move(t));
        }
    }
    return true;
}

bool number(const Token& t, unsigned long limit, unsigned long& value, int base = 0)
{
    if (t.quoted || t.text.empty() || t.text[0] == '-' || t.text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(t.text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || v > limit)
        return false;
    value = static_cast<unsigned long>(v);
    return true;
}

bool put_rom_bytes(std::vector<uint8_t>& rom, size_t offset, const std::vector<uint8_t>& bytes)
{
    if (offset > kMaxRom || bytes.size() > kMaxRom - offset)
        return false;
    if (rom.size() < offset + bytes.size())
        rom.resize(offset + bytes.size(), 0xFF);
    std::copy(bytes.begin(), bytes.end(), rom.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

}  // namespace

namespace {

std::string directory_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string resolve(const std::string& path, const std::string& base_dir)
{
    if (!path.empty() && path[0] != '/' && !base_dir.empty())
        return base_dir + "/" + path;
    return path;
}

bool read_file(const std::string& path, std::string& text)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    std::ostringstream s;
    s << f.rdbuf();
    if (f.bad())
        return false;
    text = s.str();
    return true;
}

// Includes nest at most this deep (a file including itself stops here).
constexpr int kMaxIncludeDepth = 8;

bool parse_into(BoardDescription& board, const std::string& text, const std::string& base_dir, int depth,
                std::string& error)
{
    std::istringstream in(text);
    std::string line;
    int line_no = 0;
    PciFunction* current = nullptr;

    auto fail = [&](const std::string& why) {
        error = std::to_string(line_no) + ": " + why;
        return false;
    };

    while (std::getline(in, line)) {
        ++line_no;
        std::vector<Token> tok;
        std::string terr;
        if (!tokenize(line, tok, terr))
            return fail(terr);
        if (tok.empty())
            continue;
        const std::string& kw = tok[0].text;
        const size_t n = tok.size();
        unsigned long a = 0, b = 0, c = 0;

        if (kw == "slot") {
            if (n < 3 || n > 4 || !number(tok[1], 255, a) || !number(tok[2], 31, b) ||
                (n == 4 && !number(tok[3], 7, c)))
                return fail("expected: slot BUS(0-255) DEVICE(0-31) [FUNCTION(0-7)]");
            for (const PciFunction& f : board.functions)
                if (f.bus == a && f.device == b && f.function == c)
                    return fail("slot described twice");
            PciFunction f;
            f.bus = static_cast<unsigned>(a);
            f.device = static_cast<unsigned>(b);
            f.function = static_cast<unsigned>(c);
            board.functions.push_back(std::move(f));
            current = &board.functions.back();
            continue;
        }
        if (kw == "include") {
            if (n != 2)
                return fail("expected: include PATH");
            if (depth >= kMaxIncludeDepth)
                return fail("includes nested too deeply");
            const std::string path = resolve(tok[1].text, base_dir);
            std::string sub;
            if (!read_file(path, sub))
                return fail("cannot read " + path);
            std::string sub_error;
            if (!parse_into(board, sub, directory_of(path), depth + 1, sub_error))
                return fail(path + ":" + sub_error);
            // The included file's last slot is closed: what follows starts a new one.
            current = nullptr;
            continue;
        }
        if (kw == "fail") {
            if (n != 2)
                return fail("expected: fail io-privilege|mem-open|mem-map");
            const std::string& what = tok[1].text;
            if (what == "io-privilege")
                board.deny_io = true;
            else if (what == "mem-open")
                board.fail_mem_open = true;
            else if (what == "mem-map")
                board.fail_mem_map = true;
            else
                return fail("unknown failure \"" + what + "\"");
            continue;
        }
        if (kw != "id" && kw != "revision" && kw != "class" && kw != "reg" && kw != "rom" &&
            kw != "rom-size" && kw != "rom-file" && kw != "rom-gate")
            return fail("unknown statement \"" + kw + "\"");
        if (!current)
            return fail("\"" + kw + "\" before the first slot");

        if (kw == "id") {
            if (n != 3 || !number(tok[1], 0xFFFF, a) || !number(tok[2], 0xFFFF, b))
                return fail("expected: id VENDOR DEVICE");
            current->config[0] = static_cast<uint32_t>(b << 16 | a);
        } else if (kw == "revision") {
            if (n != 2 || !number(tok[1], 0xFF, a))
                return fail("expected: revision REV(0-0xFF)");
            current->config[2] = (current->config[2] & 0xFFFFFF00u) | static_cast<uint32_t>(a);
        } else if (kw == "class") {
            if (n != 2 || !number(tok[1], 0xFFFFFF, a))
                return fail("expected: class CODE(0-0xFFFFFF)");
            current->config[2] = (current->config[2] & 0xFFu) | static_cast<uint32_t>(a << 8);
        } else if (kw == "reg") {
            if (n != 3 || !number(tok[1], 0xFC, a) || (a & 3) != 0 || !number(tok[2], 0xFFFFFFFF, b))
                return fail("expected: reg OFFSET(multiple of 4, 0-0xFC) VALUE");
            current->config[a / 4] = static_cast<uint32_t>(b);
        } else if (kw == "rom") {
            if (n < 3 || !number(tok[1], kMaxRom, a))
                return fail("expected: rom OFFSET BYTE...");
            std::vector<uint8_t> bytes;
            for (size_t i = 2; i < n; ++i) {
                if (tok[i].quoted) {
                    bytes.insert(bytes.end(), tok[i].text.begin(), tok[i].text.end());
                } else if (tok[i].text.size() <= 2 && number(tok[i], 0xFF, b, 16)) {
                    bytes.push_back(static_cast<uint8_t>(b));
                } else {
                    return fail("ROM byte \"" + tok[i].text + "\" is neither a hex pair nor \"text\"");
                }
            }
            if (!put_rom_bytes(current->rom, a, bytes))
                return fail("ROM image larger than 16 MB");
        } else if (kw == "rom-gate") {
            if (n != 3 || !number(tok[1], 0xFC, a) || (a & 3) != 0 || !number(tok[2], 0xFFFFFFFF, b))
                return fail("expected: rom-gate OFFSET(multiple of 4, 0-0xFC) MASK");
            current->rom_gate_reg = static_cast<unsigned>(a);
            current->rom_gate_mask = static_cast<uint32_t>(b);
        } else if (kw == "rom-size") {
            if (n != 2 || !number(tok[1], kMaxRom, a))
                return fail("expected: rom-size SIZE(at most 16 MB)");
            current->rom.resize(a, 0xFF);
        } else {   // rom-file
            if (n != 2)
                return fail("expected: rom-file PATH");
            const std::string path = resolve(tok[1].text, base_dir);
            std::ifstream rf(path, std::ios::binary);
            if (!rf)
                return fail("cannot read ROM image " + path);
            std::vector<uint8_t> bytes;
            char buf[4096];
            while (rf.read(buf, sizeof buf) || rf.gcount() > 0) {
                bytes.insert(bytes.end(), buf, buf + rf.gcount());
                if (bytes.size() > kMaxRom)
                    return fail("ROM image " + path + " larger than 16 MB");
            }
            if (rf.bad())
                return fail("cannot read ROM image " + path);
            current->rom = std::move(bytes);
        }
    }
    return true;
}

}  // namespace

BoardParse parse_board(const std::string& text, const std::string& base_dir)
{
    BoardParse r;
    r.ok = parse_into(r.board, text, base_dir, 0, r.error);
    return r;
}

BoardParse load_board_file(const std::string& path)
{
    std::string text;
    if (!read_file(path, text)) {
        BoardParse r;
        r.error = path + ": cannot read the board file";
        return r;
    }
    BoardParse r = parse_board(text, directory_of(path));
    if (!r.ok)
        r.error = path + ":" + r.error;
    return r;
}

EmulatedBoard::EmulatedBoard(BoardDescription board) : m_board(std::move(board)) {}

bool EmulatedBoard::acquire_io()
{
    ++m_acquisitions;
    if (m_board.deny_io)
        return false;
    m_held = true;
    return true;
}

void EmulatedBoard::release_io()
{
    ++m_releases;
    m_held = false;
}

const PciFunction* EmulatedBoard::find(unsigned bus, unsigned device, unsigned function) const
{
    for (const PciFunction& f : m_board.functions)
        if (f.bus == bus && f.device == device && f.function == function)
            return &f;
    return nullptr;
}

uint32_t EmulatedBoard::config(unsigned bus, unsigned device, unsigned reg) const
{
    const PciFunction* f = find(bus, device, 0);
    return f ? f->config[(reg & 0xFC) / 4] : 0xFFFFFFFFu;
}

PciFunction* EmulatedBoard::addressed()
{
    if (!(m_address & 0x80000000u))
        return nullptr;
    return const_cast<PciFunction*>(find((m_address >> 16) & 0xFF, (m_address >> 11) & 0x1F, (m_address >> 8) & 7));
}

uint32_t EmulatedBoard::in32(uint16_t port)
{
    if (!m_held) {
        ++m_unprivileged;
        return 0xFFFFFFFFu;
    }
    if (port == kPciConfigAddress)
        return m_address;
    if (port < kPciConfigData || port > kPciConfigData + 3)
        return 0xFFFFFFFFu;
    PciFunction* f = addressed();
    if (!f)
        return 0xFFFFFFFFu;
    // A read at 0xCFC + k sees the register from byte k on; the bytes past
    // the data port are not configuration space and float high.
    unsigned shift = 8u * (port - kPciConfigData);
    uint32_t v = f->config[(m_address & 0xFC) / 4] >> shift;
    return shift ? v | (0xFFFFFFFFu << (32 - shift)) : v;
}

void EmulatedBoard::out32(uint16_t port, uint32_t value)
{
    if (!m_held) {
        ++m_unprivileged;
        return;
    }
    if (port == kPciConfigAddress) {
        m_address = value;
        return;
    }
    if (port < kPciConfigData || port > kPciConfigData + 3)
        return;
    PciFunction* f = addressed();
    if (!f)
        return;
    unsigned reg = m_address & 0xFC;
    if (reg == 0x00 || reg == 0x08)
        return;
    unsigned shift = 8u * (port - kPciConfigData);
    uint32_t mask = 0xFFFFFFFFu << shift;
    uint32_t& r = f->config[reg / 4];
    r = (r & ~mask) | ((value << shift) & mask);
}

MemoryWindow EmulatedBoard::read_memory(uint64_t physical, size_t length)
{
    ++m_memory_reads;
    m_last_address = physical;
    MemoryWindow w;
    if (m_board.fail_mem_open) {
        w.status = MemoryStatus::open_failed;
        w.error = EACCES;
        return w;
    }
    if (m_board.fail_mem_map) {
        w.status = MemoryStatus::map_failed;
        w.error = EINVAL;
        return w;
    }
    w.bytes.assign(length, 0xFF);
    for (const PciFunction& f : m_board.functions) {
        uint32_t rombar = f.config[0x30 / 4];
        if (!(f.config[0x04 / 4] & 0x2) || !(rombar & 1) || f.rom.empty())
            continue;
        if ((f.config[f.rom_gate_reg / 4] & f.rom_gate_mask) != f.rom_gate_mask)
            continue;
        uint64_t base = rombar & 0xFFFFF800u;
        uint64_t begin = std::max(base, physical);
        uint64_t end = std::min(base + f.rom.size(), physical + length);
        for (uint64_t a = begin; a < end; ++a)
            w.bytes[a - physical] = f.rom[a - base];
    }
    return w;
}

}  // namespace cvx::hw
