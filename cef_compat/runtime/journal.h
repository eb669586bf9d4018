// The journal: numbered lines recording what the host called and what the runtime did.
// Appended from any thread; read and waited on by the control pipe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace cefcompat {

struct CJournalEntry {
    uint64_t seq;
    std::string line;
};

class CJournal {
public:
    explicit CJournal(size_t capacity);
    CJournal(const CJournal&) = delete;
    CJournal& operator=(const CJournal&) = delete;

    // Returns the new line's number (the first line is 1).
    uint64_t Append(const std::string& line);
    uint64_t LastSeq() const;
    // Up to |max| lines numbered above |after|, oldest first (lines beyond the capacity are
    // gone).
    std::vector<CJournalEntry> Read(uint64_t after, size_t max) const;
    // Waits until a line numbered above |after| matches all |terms|; false on time-out or when
    // the journal is closed.
    bool WaitFor(uint64_t after, const std::vector<std::string>& terms, std::chrono::milliseconds timeout,
                 CJournalEntry* found);
    // Wakes every waiter for good.
    void Close();

    // A term matches a whole token of the line; a term ending in '*' matches any token that
    // starts with the rest.
    static bool Matches(const std::string& line, const std::vector<std::string>& terms);

private:
    bool FindLocked(uint64_t after, const std::vector<std::string>& terms, CJournalEntry* found) const;

    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CJournalEntry> m_entries;
    uint64_t m_lastSeq = 0;
    bool m_closed = false;
};

} // namespace cefcompat
