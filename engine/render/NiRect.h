#pragma once

// A rectangle by its four edges; viewports use fractions of the target
// (left, right, top, bottom in 0..1).
template <class T>
class NiRect
{
public:
    T m_left = T();
    T m_right = T();
    T m_top = T();
    T m_bottom = T();

    constexpr NiRect() = default;
    constexpr NiRect(T left, T right, T top, T bottom) : m_left(left), m_right(right), m_top(top), m_bottom(bottom) {}
};
