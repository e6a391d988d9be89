#include "app/texts.h"

namespace Texts {

QString noPortOpen()
{
    return QStringLiteral("Nincs megnyitott soros port. Válassza ki a kártyaolvasó portját a Comm listában!");
}

QString lineLostInWindow(int portNumber)
{
    return lineLost(portNumber,
                    QStringLiteral("Ellenőrizze a kábelt, majd válassza ki újra a portot a Comm listában!"));
}

} // namespace Texts
