#pragma once

#include <QString>

#include <array>

namespace zelvar::board {

// The sixteen relays of the board, all off at power-up.
class RelayBank
{
public:
    static constexpr int kRelayCount = 16;

    // Applies 'N' (on), 'F' (off) or 'T' (toggle) to relay 1..16 and returns its new state.
    bool apply(int relay, char action);

    bool isOn(int relay) const;

    // One character per relay, '#' on and '-' off, relay 1 first.
    QString summary() const;

private:
    std::array<bool, kRelayCount> m_on{};
};

} // namespace zelvar::board
