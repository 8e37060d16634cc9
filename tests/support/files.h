// Files and directories of the tests: one private temporary directory, and
// reading and writing whole files. No toolkit, no X: every test binary may
// link it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>
#include <time.h>

namespace cvx::test {

// A directory of our own under $TMPDIR (else the build tree), removed with
// everything in it when the object goes, whatever rights the test left on
// the folders inside.
class TempDir {
public:
    // `name` shows in the directory's name, so a leftover says whose it is.
    explicit TempDir(const std::string& name = "cvx-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& rel) const { return m_path + "/" + rel; }
    // Writes `text` to file(rel) (folders made as needed); returns the path.
    std::string write(const std::string& rel, const std::string& text) const;

private:
    std::string m_path;
};

// The whole file; "" when it cannot be read (a missing file is an answer the
// tests compare, not an error).
std::string read_file(const std::string& path);
// Writes the whole file, replacing it; throws std::runtime_error when it cannot.
void write_file(const std::string& path, const std::string& text);

// The .conf files directly in `dir`, sorted.
std::vector<std::filesystem::path> conf_files(const std::filesystem::path& dir);

// `s` quoted for /bin/sh.
std::string shell_quote(const std::string& s);

// A command's end and what it wrote.
struct CommandRun {
    int status = -1;  // exit status; -1 when it did not exit normally
    std::string out, err;
};
// Runs `command` through /bin/sh with standard output and error captured.
CommandRun run_captured(const std::string& command);

// What shows that a file was left alone: its bytes, its inode and its
// modification time (all zero/empty when it does not exist).
struct Stamp {
    std::string bytes;
    ino_t inode = 0;
    timespec mtime{};
};
Stamp stamp(const std::string& path);
bool same(const Stamp& a, const Stamp& b);

// The text of a fixture in tests/data.
std::string fixture(const std::string& name);
std::string fixture_path(const std::string& name);

}  // namespace cvx::test
