// The program's end of the simulated line in tests: plain POSIX calls on the slave device.
#pragma once

#include <string>

namespace qvl::sim::test {

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
    std::string ReadAnswer(int timeoutMs = 2000);
    // Reads until the received text contains marker or the time runs out.
    std::string ReadUntil(const std::string& marker, int timeoutMs);
    // Everything that arrives within ms milliseconds.
    std::string ReadFor(int ms);
    // Sends command + CR and returns the answer (echo included).
    std::string Command(const std::string& command, int timeoutMs = 2000);
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
