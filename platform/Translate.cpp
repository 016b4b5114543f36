#include "Translate.h"

#include <libintl.h>

QString CportText(const char* text)
{
    return QString::fromLocal8Bit(dgettext("cport", text));
}
