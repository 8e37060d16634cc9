// Whether the real X server accepts a configuration file: the one check the
// tests of written files share.
#pragma once

#include <string>

namespace cvx::test {

// Whether an Xorg binary is installed here.
bool have_xorg();

// Hands `file` to Xorg (-config, an empty -configdir under `workdir`, its log
// there too). True when the server used that file and logged no parse error
// and no incomplete section; `log` receives the server's log.
bool xorg_reads_cleanly(const std::string& file, const std::string& workdir, std::string& log);

// As xorg_reads_cleanly, and the server went on to load the board's driver,
// which it only does after a clean read and validation (the driver is not
// installed, so it stops there). A statement the server does not know (an
// old file's RgbPath) is logged as "Parse error" and skipped, not refused: a
// test that wants none looks for it in `log`.
bool xorg_accepts(const std::string& file, const std::string& workdir, std::string& log);

}  // namespace cvx::test
