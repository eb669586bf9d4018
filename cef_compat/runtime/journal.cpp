#include "runtime/journal.h"

#include "runtime/text.h"

namespace cefcompat {

CJournal::CJournal(size_t capacity) : m_capacity(capacity ? capacity : 1) {}

uint64_t CJournal::Append(const std::string& line)
{
    uint64_t seq;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        seq = ++m_lastSeq;
        m_entries.push_back({seq, line});
        if (m_entries.size() > m_capacity)
            m_entries.pop_front();
    }
    m_changed.notify_all();
    return seq;
}

uint64_t CJournal::LastSeq() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastSeq;
}

std::vector<CJournalEntry> CJournal::Read(uint64_t after, size_t max) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<CJournalEntry> out;
    for (const CJournalEntry& entry : m_entries) {
        if (out.size() >= max)
            break;
        if (entry.seq > after)
            out.push_back(entry);
    }
    return out;
}

bool CJournal::WaitFor(uint64_t after, const std::vector<std::string>& terms, std::chrono::milliseconds timeout,
                       CJournalEntry* found)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(m_mutex);
    // Each wake-up looks only at lines not yet examined.
    uint64_t examined = after;
    for (;;) {
        if (FindLocked(examined, terms, found))
            return true;
        examined = m_lastSeq;
        if (m_closed)
            return false;
        if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            return FindLocked(examined, terms, found);
        }
    }
}

void CJournal::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
    }
    m_changed.notify_all();
}

bool CJournal::FindLocked(uint64_t after, const std::vector<std::string>& terms, CJournalEntry* found) const
{
    for (const CJournalEntry& entry : m_entries) {
        if (entry.seq > after && Matches(entry.line, terms)) {
            *found = entry;
            return true;
        }
    }
    return false;
}

bool CJournal::Matches(const std::string& line, const std::vector<std::string>& terms)
{
    const std::vector<std::string> tokens = SplitTokens(line);
    for (const std::string& term : terms) {
        const bool prefix = !term.empty() && term.back() == '*';
        const std::string wanted = prefix ? term.substr(0, term.size() - 1) : term;
        bool hit = false;
        for (const std::string& token : tokens) {
            if (prefix ? token.compare(0, wanted.size(), wanted) == 0 : token == wanted) {
                hit = true;
                break;
            }
        }
        if (!hit)
            return false;
    }
    return true;
}

} // namespace cefcompat
