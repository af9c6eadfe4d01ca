// A pseudo-terminal standing in for the modem in tests and measures: the transport opens the
// slave by its path, the test plays the modem on the master.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace qvl::testing {

class FakeModemLine {
  public:
    FakeModemLine();
    ~FakeModemLine();
    FakeModemLine(const FakeModemLine&) = delete;
    FakeModemLine& operator=(const FakeModemLine&) = delete;

    bool Ok() const { return m_master >= 0; }
    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }

    // Writes bytes on the modem side.
    void Send(const std::string& bytes);
    // Bytes the transport wrote, waiting up to timeoutMs for at least `want` of them.
    std::string Receive(std::size_t want, int timeoutMs);
    // Hangs up: closes the modem side.
    void HangUp();

    struct Piece {
        int delayMs;  // pause before the piece
        std::string bytes;
    };
    // Sends the pieces from a thread (joined by Join or the destructor).
    void Play(std::vector<Piece> pieces);
    void Join();

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::thread m_player;
};

}  // namespace qvl::testing
