#include "compiler/CompileContext.h"

#include "compiler/MyVision.h"

#include <algorithm>

namespace m51 {

void CompileContext::AddError(int line, ErrorKind kind, std::string_view message)
{
    std::string text = std::to_string(line);
    text += ' ';
    text += message;
    ErBox.push_back({line, std::move(text)});
    Diagnostic d;
    d.line = line + 1;
    d.kind = kind;
    d.message = message;
    Diagnostics.push_back(std::move(d));
}

using MyVision::ExtractFieldView;

void ProcedureList::Add(ListEntry entry)
{
    Count(MyVision::UpperText(ExtractFieldView(' ', entry.text, 2)), 1);
    m_entries.push_back(std::move(entry));
}

void ProcedureList::AddReports(const ListEntry& report, std::int64_t listed, std::int64_t total)
{
    if (total > 0)
        Count("ERROR", total);
    for (std::int64_t i = 0; i < listed; ++i)
        m_entries.push_back(report);
}

void ProcedureList::Count(const std::string& name, std::int64_t count)
{
    m_lengths |= std::uint64_t{1} << std::min<std::size_t>(name.size(), 63);
    if (!name.empty())
        m_firstBytes[static_cast<unsigned char>(name[0])] = true;
    const auto it = m_nameCount.find(std::string_view(name));
    if (it == m_nameCount.end())
        m_nameCount.emplace(name, count);
    else
        it->second += count;
}

std::int64_t ProcedureList::CountNamed(std::string_view upperName) const
{
    if (!(m_lengths & (std::uint64_t{1} << std::min<std::size_t>(upperName.size(), 63))))
        return 0;
    if (!upperName.empty() && !m_firstBytes[static_cast<unsigned char>(upperName[0])])
        return 0;
    const auto it = m_nameCount.find(upperName);
    return it == m_nameCount.end() ? 0 : it->second;
}

namespace {

// A number field written as plain decimal ("0", "7", "12"; no sign, no leading
// zero) and its value; other texts do not count as plain.
bool PlainNumber(std::string_view text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 18 || (text[0] == '0' && text.size() > 1))
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

} // namespace

void InlineList::Append(Chain& chain, std::uint32_t header)
{
    m_headers[chain.last].next = header;
    chain.last = header;
}

const InlineList::Chain* InlineList::Find(std::string_view number) const
{
    std::uint64_t value = 0;
    if (PlainNumber(number, value)) {
        const auto it = std::lower_bound(m_rising.begin(), m_rising.end(), value,
                                         [](const NumberChain& n, std::uint64_t v) { return n.number < v; });
        if (it != m_rising.end() && it->number == value)
            return &it->chain;
    }
    if (m_otherNumbers.empty())
        return nullptr;
    const auto it = m_otherNumbers.find(number);
    return it == m_otherNumbers.end() ? nullptr : &it->second;
}

void InlineList::Add(ListEntry entry)
{
    const std::size_t position = m_entries.size();
    const std::string_view first = ExtractFieldView(' ', entry.text, 1);
    if (first == "INLINEEND") {
        for (std::uint32_t h : m_openHeaders)
            m_headers[h].end = position;
        m_openHeaders.clear();
    } else if (first == "INLINE" && m_headers.size() < kNone) {
        const std::string_view number = ExtractFieldView(' ', entry.text, 2);
        const auto header = static_cast<std::uint32_t>(m_headers.size());
        m_headers.push_back({position, std::string::npos, kNone});
        m_openHeaders.push_back(header);
        // A number lives in exactly one of the two indexes: a plain number goes
        // to the rising vector when it is already there or larger than all in it.
        std::uint64_t value = 0;
        if (PlainNumber(number, value) && (m_rising.empty() || value >= m_rising.back().number)) {
            if (!m_rising.empty() && m_rising.back().number == value)
                Append(m_rising.back().chain, header);
            else
                m_rising.push_back({value, {header, header}});
        } else if (Chain* chain = const_cast<Chain*>(Find(number))) {
            Append(*chain, header);
        } else {
            m_otherNumbers.emplace(std::string(number), Chain{header, header});
        }
    }
    m_entries.push_back(std::move(entry));
}

void InlineList::CopyBlock(std::string_view number, std::vector<std::string>& out) const
{
    const Chain* chain = Find(number);
    if (!chain)
        return;
    // Copying runs from just after a matching header to the next INLINEEND. A
    // matching header inside a run already being copied is copied as a line and
    // changes nothing else, as in the walk over the whole list.
    std::size_t copiedUpTo = 0;
    for (std::uint32_t h = chain->first; h != kNone; h = m_headers[h].next) {
        const Header& header = m_headers[h];
        if (header.position < copiedUpTo)
            continue;
        const std::size_t end = header.end == std::string::npos ? m_entries.size() : header.end;
        for (std::size_t j = header.position + 1; j < end; ++j)
            out.push_back(m_entries[j].text);
        copiedUpTo = end;
    }
}

void InlineList::Compact()
{
    m_entries.shrink_to_fit();
    m_headers.shrink_to_fit();
    m_rising.shrink_to_fit();
}

} // namespace m51
