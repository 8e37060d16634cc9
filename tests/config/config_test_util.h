// Shared pieces of the configuration model's tests: the sample files,
// parsing, opening and a recorder for the message hook.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Before Xlib (through config.h), whose None macro breaks gtest's headers.
#include <gtest/gtest.h>

#include "config/config.h"
#include "support/corpus.h"
#include "support/files.h"

namespace cvx::test {

// The samples of tests/data: one display on the board in the form the
// program writes (single.conf); two screens of one board under foreign
// identifiers, the second placed RightOf the first (foreign.conf); PairView
// Multi-Display (pairview.conf) and the merged display (merged.conf) as the
// program writes them.
extern const std::string kSingleConf, kForeignConf, kPairViewConf, kMergedConf;
extern const char* const kSampleNames[4];

// Parses text; a failed parse fails the calling test (null holder).
XF86ConfigHolder parse(std::string_view text);
std::string text_of(XF86ConfigPtr tree);
// Written, then parsed again: what the next run of the program would see.
XF86ConfigHolder reparse(XF86ConfigPtr tree);

std::string corpus_file(const std::string& name);
size_t count_of(const std::string& text, const std::string& needle);

XF86ConfAdjacencyRec* line(XF86ConfigPtr tree, size_t n);
size_t line_count(XF86ConfigPtr tree);
const XF86OptionRec* option(const XF86OptionList& list, const char* name);

// Names of the display modes for test traces.
extern const char* const kModeNames[4];
// getConfigPtr with its console lines kept from the test's output (and
// handed to `out` and `err` when given).
XF86ConfigHolder open_silently(const std::string& path, std::string* out = nullptr, std::string* err = nullptr);
// The save sequence on the file getConfigPtr opened last, with the backup
// path (null = none) held as the configuration-file window holds it.
bool save_opened(XF86ConfigPtr tree, const char* backup, std::string& message);

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
