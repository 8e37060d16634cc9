// Shared pieces of the configuration model's tests: sample files, parsing,
// a private temporary directory and a recorder for the message hook.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Before Xlib (through config.h), whose None macro breaks gtest's headers.
#include <gtest/gtest.h>

#include "config/config.h"
#include "support/corpus.h"

namespace cvx::test {

// One display on the board, in the form the program writes.
extern const char* const kSingleConf;
// Two screens of one board under foreign identifiers, placed RightOf.
extern const char* const kForeignConf;
// PairView Multi-Display as the program writes it.
extern const char* const kPairViewConf;
// The merged display as the program writes it.
extern const char* const kMergedConf;

// Parses text; a failed parse fails the calling test (null holder).
XF86ConfigHolder parse(std::string_view text);
std::string text_of(XF86ConfigPtr tree);
// Written, then parsed again: what the next run of the program would see.
XF86ConfigHolder reparse(XF86ConfigPtr tree);

std::string corpus_file(const std::string& name);
std::string read_text(const std::string& path);
void write_text(const std::string& path, const std::string& text);
size_t count_of(const std::string& text, const std::string& needle);

XF86ConfAdjacencyRec* line(XF86ConfigPtr tree, size_t n);
size_t line_count(XF86ConfigPtr tree);
const XF86OptionRec* option(const XF86OptionList& list, const char* name);

// Names of the display modes for test traces.
extern const char* const kModeNames[4];
// getConfigPtr with its console lines swallowed.
XF86ConfigHolder open_silently(const std::string& path);

// A directory of our own (under $TMPDIR, else the build tree), removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& rel) const { return m_path + "/" + rel; }
private:
    std::string m_path;
};

// Installs itself as confMessageHook and records each message.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    struct Message { std::string title, text; unsigned char mustExit; };
    const std::vector<Message>& messages() const;
    void clear();
};

}  // namespace cvx::test
