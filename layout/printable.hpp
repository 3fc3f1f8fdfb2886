// A line of text as the drawer takes it, made in place.
#pragma once

#include <functional>
#include <string>

namespace lumarin {

// Makes a UTF-8 line printable, its tabs kept: each part between tabs as
// printable_text makes it, white space at the line's end dropped. A long
// line a piece at a time, `check_stop` between the pieces, in place where
// it can be. Returns false where the line is not UTF-8.
bool make_printable(std::string& line, const std::function<void()>& check_stop = {});

}  // namespace lumarin
