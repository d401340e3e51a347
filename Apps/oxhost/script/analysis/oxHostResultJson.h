#pragma once

#include "oxHostResultFields.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

namespace oxResultFields
{
// Every field of r under its key in the JSON object a RapidJSON writer has open: a Text as a string, a Count as an
// integer, the others as numbers.
template <typename Writer, typename R>
void writeJson(Writer& w, const std::vector<oxResultField<R>>& fields, const R& r)
{
    for (const oxResultField<R>& f : fields)
    {
        w.Key(f.key);
        const oxResultValue v = f.value(r);
        if (f.format == oxResultFormat::Text)
            w.String(v.text);
        else if (f.format == oxResultFormat::Count)
            w.Uint64(v.pair[0]);
        else
            w.Double(v.number);
    }
}
} // namespace oxResultFields
