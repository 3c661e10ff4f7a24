#pragma once
// The far end of a pseudo-terminal line on its own thread: it records when
// each byte arrived and can answer each line with a prompt, as a monitor does.

#include "terminal/tests/common/PtyPort.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

class FarEnd {
public:
    struct Arrival {
        qint64 ns;
        char byte;
    };

    explicit FarEnd(PtyPort& pty, QByteArray prompt = {}, int promptDelayMs = 0)
        : m_pty(pty), m_prompt(std::move(prompt)), m_promptDelayMs(promptDelayMs)
    {
        m_clock.start();
        m_thread = std::thread([this] { run(); });
    }
    ~FarEnd() { stop(); }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<Arrival> arrivals() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrivals;
    }
    QByteArray bytes() const
    {
        QByteArray out;
        for (const Arrival& a : arrivals())
            out.append(a.byte);
        return out;
    }
    // When each prompt went out.
    std::vector<qint64> prompts() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_prompts;
    }

private:
    void run()
    {
        char buf[4096];
        while (!m_stop) {
            pollfd p{m_pty.master(), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
            if (n <= 0)
                continue;
            const qint64 now = m_clock.nsecsElapsed();
            bool lineEnd = false;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (ssize_t i = 0; i < n; ++i) {
                    m_arrivals.push_back({now, buf[i]});
                    lineEnd = lineEnd || buf[i] == '\n';
                }
            }
            if (lineEnd && !m_prompt.isEmpty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(m_promptDelayMs));
                std::lock_guard<std::mutex> lock(m_mutex);
                m_prompts.push_back(m_clock.nsecsElapsed());
                [[maybe_unused]] const ssize_t w = ::write(m_pty.master(), m_prompt.constData(), size_t(m_prompt.size()));
            }
        }
    }

    PtyPort& m_pty;
    QByteArray m_prompt;
    int m_promptDelayMs;
    QElapsedTimer m_clock;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
    std::vector<qint64> m_prompts;
    std::thread m_thread;
};
