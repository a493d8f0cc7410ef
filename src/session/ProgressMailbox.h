// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The latest values a worker thread reported, kept under a lock for the front
// end to take on its own thread. A burst of reports makes one call to the
// front end: record() says to tell it only when nothing told waits untaken.

#include <mutex>
#include <utility>

namespace sarvik::session {

template <typename Values> class ProgressMailbox {
public:
    /// Applies `change` to the values; true when the front end is to be told.
    template <typename Change> [[nodiscard]] bool record(Change&& change)
    {
        std::lock_guard lock(m_mutex);
        std::forward<Change>(change)(m_values);
        const bool tell = !m_told;
        m_told = true;
        return tell;
    }

    /// The values as they stand; `afterTaking` then runs on the kept values
    /// (to clear what was taken), and the next report tells again.
    template <typename After> [[nodiscard]] Values take(After&& afterTaking)
    {
        std::lock_guard lock(m_mutex);
        Values taken = m_values;
        std::forward<After>(afterTaking)(m_values);
        m_told = false;
        return taken;
    }
    [[nodiscard]] Values take()
    {
        return take([](Values&) {});
    }

    /// What `read` gives of the values, under the lock.
    template <typename Read> [[nodiscard]] auto read(Read&& reader) const
    {
        std::lock_guard lock(m_mutex);
        return std::forward<Read>(reader)(m_values);
    }

    /// Back to no values, nothing told.
    void reset()
    {
        std::lock_guard lock(m_mutex);
        m_values = Values{};
        m_told = false;
    }

private:
    mutable std::mutex m_mutex;
    Values m_values{};
    bool m_told = false;
};

} // namespace sarvik::session
