#include "forms/image.h"

#include "forms/form.h"

namespace forms {

Image::Image(Form& form, std::string name, int index, Rect design)
    : Control(form, std::move(name), index), m_rect(SingleRect(design)) {}

void Image::SetPicture(const Picture& picture) {
    const Rect before = m_rect;
    m_picture = picture;
    if (!m_picture.isNull()) {
        m_rect.width = m_picture.width();
        m_rect.height = m_picture.height();
    }
    Invalidate(before);
    Invalidate(m_rect);
}

void Image::SetLeft(double left) { Move(left, m_rect.top); }
void Image::SetTop(double top) { Move(m_rect.left, top); }

void Image::SetVisible(bool visible) {
    if (m_visible == visible) return;
    m_visible = visible;
    if (visible) m_shownAtPress = Parent().PressCount();
    Invalidate(m_rect);
}

bool Image::Move(double left, double top) { return Move(left, top, m_rect.width, m_rect.height); }

bool Image::Move(double left, double top, double width, double height) {
    const Rect before = m_rect;
    m_rect = SingleRect(Rect{left, top, width, height});
    Invalidate(before);
    Invalidate(m_rect);
    return true;
}

bool Image::Contains(double x, double y) const {
    return x >= m_rect.left && x < m_rect.left + m_rect.width && y >= m_rect.top &&
           y < m_rect.top + m_rect.height;
}

void Image::Invalidate(const Rect& area) { Parent().InvalidateArea(area); }

}  // namespace forms
