// The option words of g3 render.

#include "tools/render/G3Render.h"

#include <charconv>

namespace g3render {

bool ParseView(const std::string& text, View& view)
{
    if (text == "iso")
        view = View::Iso;
    else if (text == "top")
        view = View::Top;
    else if (text == "front")
        view = View::Front;
    else if (text == "side")
        view = View::Side;
    else if (text == "below")
        view = View::Below;
    else
        return false;
    return true;
}

bool ParseUp(const std::string& text, Up& up)
{
    if (text == "x")
        up = Up::X;
    else if (text == "y")
        up = Up::Y;
    else if (text == "z")
        up = Up::Z;
    else
        return false;
    return true;
}

bool ParseEdgeMode(const std::string& text, EdgeMode& mode)
{
    if (text == "visible")
        mode = EdgeMode::Visible;
    else if (text == "all")
        mode = EdgeMode::All;
    else if (text == "none")
        mode = EdgeMode::None;
    else
        return false;
    return true;
}

bool ParseSize(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    // Digits only: no sign, no space, nothing after the number.
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != x && (text[i] < '0' || text[i] > '9'))
            return false;
    int w = 0, h = 0;
    const char* begin = text.data();
    const auto rw = std::from_chars(begin, begin + x, w);
    const auto rh = std::from_chars(begin + x + 1, begin + text.size(), h);
    if (rw.ec != std::errc() || rw.ptr != begin + x || rh.ec != std::errc() || rh.ptr != begin + text.size())
        return false;
    if (w < kMinSize || w > kMaxSize || h < kMinSize || h > kMaxSize)
        return false;
    width = w;
    height = h;
    return true;
}

}  // namespace g3render
