// The program's end of the simulated line in tests: plain POSIX calls on the slave device.
#pragma once

#include <cstddef>
#include <string>

namespace qvl::sim::test {

// The limit of a wait for something that must come: generous, so that a loaded machine never
// fails a test, while an answer that comes ends the wait at once. Waits that show that
// nothing comes stay short (a slow machine can only make them pass).
inline constexpr int kArrivalLimitMs = 20000;

class TestLine {
  public:
    explicit TestLine(const std::string& path);
    ~TestLine();
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    bool Send(const std::string& bytes);
    // Reads until the text received so far contains one of the final result codes of an
    // answer (OK, ERROR, +CME/+CMS ERROR, the "> " prompt, CONNECT, NO CARRIER) or the time
    // runs out; returns everything read.
    std::string ReadAnswer(int timeoutMs = kArrivalLimitMs);
    // Reads until the received text contains marker or the time runs out.
    std::string ReadUntil(const std::string& marker, int timeoutMs = kArrivalLimitMs);
    // Reads until at least count bytes came (what one read brings beyond them is kept too).
    std::string ReadAtLeast(std::size_t count, int timeoutMs = kArrivalLimitMs);
    // Everything that arrives within ms milliseconds.
    std::string ReadFor(int ms);
    // Sends command + CR and returns the answer (echo included).
    std::string Command(const std::string& command, int timeoutMs = kArrivalLimitMs);
    // The last read or write error (errno), 0 while the line works.
    int LastError() const { return m_error; }

  private:
    bool ReadSome(std::string& into, int waitMs);
    int m_fd = -1;
    int m_error = 0;
    std::string m_pending;
};

bool HasFinalResult(const std::string& text);

}  // namespace qvl::sim::test
