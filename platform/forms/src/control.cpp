#include "forms/control.h"

#include <utility>

namespace forms {

Control::Control(Form& form, std::string name, int index)
    : m_form(form), m_name(std::move(name)), m_index(index) {}

Control::~Control() = default;

}  // namespace forms
