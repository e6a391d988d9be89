// What the transfers need of the reader's line, whatever carries it: a device
// (CommPort), or the reader model in the same process for tests. Nothing here
// blocks: time passes only in the transfer's own clock, between looks.
#pragma once

#include <QByteArray>
#include <QString>

class Line
{
public:
    virtual ~Line() = default;

    virtual bool isOpen() const = 0;
    // True once the line failed (cable pulled, device gone) since it was opened;
    // it is closed by then, and what came before it failed is still readable.
    virtual bool lineLost() const = 0;
    // Everything received so far and not yet taken.
    virtual int bytesWaiting() = 0;
    virtual QByteArray read(int count) = 0;
    // What was received and not taken is dropped, as the reader's word to nobody.
    virtual void clearReceiveBuffer() = 0;
    // The bytes go out whole, or the line is lost and false comes back.
    virtual bool send(const QByteArray &bytes) = 0;
    // Which line this is, the same each time it is opened (a device's path):
    // a note about a dump left unheard is kept under it.
    virtual QString name() const = 0;
    virtual void close() = 0;
};
