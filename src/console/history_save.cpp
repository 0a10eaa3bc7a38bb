#include "history_save.h"

#include <cstdio>

#include "local_time.h"
#include "utf16.h"

namespace history_save {

std::u16string SuggestedName(std::int64_t ms)
{
    const base::Date date = base::LocalDate(ms);
    const base::TimeOfDay time = base::LocalTimeOfDay(ms);
    char name[48];
    std::snprintf(name, sizeof name, "wendrel-%04d%02d%02d-%02d%02d%02d.txt", date.year,
                  date.month, date.day, time.hour, time.minute, time.second);
    return text::Widen(name);
}

std::string FileText(std::u16string_view shownRows, std::string_view lineBreak)
{
    // A row never holds a line break of its own (line_history.h): every
    // "\r\n" ends one.
    std::string out;
    out.reserve(shownRows.size() + shownRows.size() / 2);
    for (std::size_t at = 0; at < shownRows.size();) {
        std::size_t end = shownRows.find(u"\r\n", at);
        const bool ended = end != std::u16string_view::npos;
        if (!ended)
            end = shownRows.size();
        out += text::ToUtf8(shownRows.substr(at, end - at));
        if (ended)
            out += lineBreak;
        at = ended ? end + 2 : end;
    }
    return out;
}

}  // namespace history_save
