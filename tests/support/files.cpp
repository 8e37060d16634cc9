// Files and directories of the tests.
#include "support/files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace cvx::test {

TempDir::TempDir(const std::string& name)
{
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : CVX_TEST_BUILD_DIR "/test-tmp";
    std::error_code ec;
    fs::create_directories(base, ec);
    std::string pattern = base + "/" + name + ".XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed under " + base);
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests make folders read-only; the owner gets its rights back first.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string& rel, const std::string& text) const
{
    const std::string path = file(rel);
    fs::create_directories(fs::path(path).parent_path());
    write_file(path, text);
    return path;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<fs::path> conf_files(const fs::path& dir)
{
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() == ".conf")
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

std::string shell_quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

CommandRun run_captured(const std::string& command)
{
    TempDir io("cvx-run");
    const int rc = std::system(("{ " + command + "; } >" + shell_quote(io.file("out")) + " 2>" +
                                shell_quote(io.file("err"))).c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, read_file(io.file("out")), read_file(io.file("err"))};
}

Stamp stamp(const std::string& path)
{
    Stamp s;
    s.bytes = read_file(path);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        s.inode = st.st_ino;
        s.mtime = st.st_mtim;
    }
    return s;
}

bool same(const Stamp& a, const Stamp& b)
{
    return a.bytes == b.bytes && a.inode == b.inode && a.mtime.tv_sec == b.mtime.tv_sec &&
           a.mtime.tv_nsec == b.mtime.tv_nsec;
}

std::string fixture_path(const std::string& name)
{
    return CVX_TEST_SOURCE_DIR "/tests/data/" + name;
}

std::string fixture(const std::string& name)
{
    std::ifstream in(fixture_path(name), std::ios::binary);
    if (!in)
        throw std::runtime_error("no fixture " + fixture_path(name));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace cvx::test
