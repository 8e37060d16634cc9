// Parse errors and warnings, worded and counted as the server's.
#include "xf86config/parse.h"

namespace cvx::xf86config::detail::parse {

std::vector<std::string> g_warnings;

void Parser::fail(int line, const std::string& msg)
{
    if (!m_quiet)
        ErrorF("Parse error on line %d of section %s in file %s\n\t%s\n", line,
               m_section ? m_section->c_str() : "(null)", m_file.c_str(), msg.c_str());
    throw Failure{};
}

void Parser::warn(int line, const std::string& msg)
{
    if (m_quiet)
        return;
    ErrorF("Parse error on line %d of section %s in file %s\n\t%s\n", line,
           m_section ? m_section->c_str() : "(null)", m_file.c_str(), msg.c_str());
    std::string flat = msg;
    for (char& ch : flat)
        if (ch == '\n' || ch == '\t')
            ch = ' ';
    g_warnings.push_back(m_file + ": line " + std::to_string(line) + ": " + flat);
}

void Parser::fail_data(int line, const XF86SectionRec& sec, const std::string& msg)
{
    if (!m_quiet)
        ErrorF("Data incomplete on line %d of section %s in file %s\n\t%s\n", line, sec.section_name.value_or(kind_name(sec.kind)).c_str(),
               m_file.c_str(), msg.c_str());
    throw Failure{};
}

}  // namespace cvx::xf86config::detail::parse
