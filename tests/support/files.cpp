#include "tests/support/files.h"

#include <QFile>

CardCode codeOf(const char *hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    CardCode code{};
    for (int i = 0; i < 5 && i < bytes.size(); ++i)
        code[i] = quint8(bytes[i]);
    return code;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}
