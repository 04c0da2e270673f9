#pragma once

#include <QStringList>
#include <string>

// Lines as one text, readable in failure messages.
inline std::string joined(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n')).toStdString();
}
