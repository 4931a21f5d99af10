#include "RelayBank.h"

namespace zelvar::board {

bool RelayBank::apply(int relay, char action)
{
    bool &on = m_on.at(static_cast<std::size_t>(relay - 1));
    if (action == 'N')
        on = true;
    else if (action == 'F')
        on = false;
    else if (action == 'T')
        on = !on;
    return on;
}

bool RelayBank::isOn(int relay) const
{
    return m_on.at(static_cast<std::size_t>(relay - 1));
}

QString RelayBank::summary() const
{
    QString text;
    for (bool on : m_on)
        text += on ? QLatin1Char('#') : QLatin1Char('-');
    return text;
}

} // namespace zelvar::board
