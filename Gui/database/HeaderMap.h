#pragma once

#include <map>
#include <string>
#include <string_view>

// Orders header names without regard to ASCII case, so that "SUBJECT" and "Subject" are one
// name. Bytes outside ASCII compare by their unsigned value.
struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const;
};

// The headers of one message: name to value, one entry per name (compared without regard to
// case), iterated in that order. A plain value; any thread.
using HeaderMap = std::map<std::string, std::string, CaseInsensitiveLess>;
