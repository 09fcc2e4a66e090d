// One attribute of an element as the XML readers report it.
#pragma once

#include <QString>

struct XMLAttribute {
    QString
        name;  // as written: "prefix:local" or "local"; namespace declarations as "xmlns[:prefix]"
    QString value;  // with character and entity references resolved
};
