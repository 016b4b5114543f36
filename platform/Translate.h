#pragma once
// Translation hook for the serial component's texts (domain "cport"). Without
// an installed catalogue the text comes back unchanged.
#include <QString>

QString CportText(const char* text);
