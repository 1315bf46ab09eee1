#include "forms/form.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QStyleHints>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

#include "forms/chrome.h"
#include "forms/screen.h"
#include "internal.h"

namespace forms {
namespace {
bool g_classDoubleClicks = true;
}  // namespace

int ToMouseButtons(Qt::MouseButtons buttons) {
    int mask = 0;
    if (buttons & Qt::LeftButton) mask |= kLeftButton;
    if (buttons & Qt::RightButton) mask |= kRightButton;
    if (buttons & Qt::MiddleButton) mask |= kMiddleButton;
    return mask;
}

int ToShiftMask(Qt::KeyboardModifiers modifiers) {
    int mask = 0;
    if (modifiers & Qt::ShiftModifier) mask |= kShiftMask;
    if (modifiers & Qt::ControlModifier) mask |= kCtrlMask;
    if (modifiers & Qt::AltModifier) mask |= kAltMask;
    return mask;
}

FormWindow::FormWindow(Form& form) : m_form(form) {}

void FormWindow::closeEvent(QCloseEvent* event) {
    if (m_form.HandleClose(kUnloadFromControlMenu)) {
        event->accept();
    } else {
        event->ignore();
    }
}

void FormWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_form.WindowHidden();
}

void FormWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_form.RaiseResize();
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
    // A form of image buttons has nothing to take the keys a dialog answers to.
    int code = 0;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) code = kKeyReturn;
    if (event->key() == Qt::Key_Escape) code = kKeyEscape;
    if (code == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    m_form.OnKeyDown(code, ToShiftMask(event->modifiers()));
}

FormSurface::FormSurface(Form& form, QWidget* parent) : QWidget(parent), m_form(form) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void FormSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    m_form.PaintClient(painter, event->rect());
}

void FormSurface::Forward(int kind, QMouseEvent* event) {
    const int changed = ToMouseButtons(event->button());
    const int held = ToMouseButtons(event->buttons());
    const QPointF pos = event->position();
    m_form.DispatchMouse(kind, changed, held, ToShiftMask(event->modifiers()), pos.x(), pos.y(),
                         event->timestamp());
    event->accept();
}

void FormSurface::mousePressEvent(QMouseEvent* event) { Forward(kMouseDown, event); }
void FormSurface::mouseDoubleClickEvent(QMouseEvent* event) {
    Forward(Form::ClassDoubleClicks() ? kMouseDblClick : kMouseDown, event);
}
void FormSurface::mouseMoveEvent(QMouseEvent* event) { Forward(kMouseMove, event); }
void FormSurface::mouseReleaseEvent(QMouseEvent* event) { Forward(kMouseUp, event); }

bool FormSurface::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const Image* image = m_form.HitTest(help->pos().x(), help->pos().y());
        if (image != nullptr && !image->ToolTipText.empty()) {
            QToolTip::showText(help->globalPos(),
                               QString::fromStdString(WrapToolTip(image->ToolTipText)), this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

Form::Form(std::string name, int clientWidth, int clientHeight)
    : m_name(std::move(name)), m_clientWidth(clientWidth), m_clientHeight(clientHeight) {
    LoadFonts();
    WatchInput();
    m_layer = QImage(clientWidth, clientHeight, QImage::Format_RGB32);
    m_window = std::make_unique<FormWindow>(*this);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_surface = new FormSurface(*this, m_window.get());
    m_surface->setFixedSize(clientWidth, clientHeight);
    layout->addWidget(m_surface);
}

Form::~Form() {
    // Controls hold widgets and actions that live inside the window: they go first.
    m_captured = nullptr;
    while (!m_owned.empty()) m_owned.pop_back();
    m_controls.clear();
    m_window.reset();
}

std::string Form::Caption() const { return m_window->windowTitle().toStdString(); }
void Form::SetCaption(const std::string& caption) {
    m_window->setWindowTitle(QString::fromStdString(caption));
}

void Form::SetPicture(const Picture& picture) {
    m_picture = picture;
    InvalidateLayer();
}

void Form::SetBackColor(OleColor color) {
    m_backColor = color;
    InvalidateLayer();
}

double Form::Left() const { return m_window->frameGeometry().left() * Screen::TwipsPerPixelX(); }
double Form::Top() const { return m_window->frameGeometry().top() * Screen::TwipsPerPixelY(); }
QSize Form::LaidOutSize() const {
    // Until the window is first shown its layout has not run: run it now, so that the size
    // is the one the window is shown with (client area and menu bar), not a default.
    if (QLayout* layout = m_window->layout(); layout != nullptr) layout->activate();
    return m_window->size();
}

double Form::Width() const { return LaidOutSize().width() * Screen::TwipsPerPixelX(); }
double Form::Height() const { return LaidOutSize().height() * Screen::TwipsPerPixelY(); }

bool Form::SetWidth(double twips) {
    const int pixels = static_cast<int>(std::lround(twips / Screen::TwipsPerPixelX()));
    m_window->resize(pixels, LaidOutSize().height());
    return LaidOutSize().width() == pixels;
}

bool Form::SetHeight(double twips) {
    const int pixels = static_cast<int>(std::lround(twips / Screen::TwipsPerPixelY()));
    m_window->resize(LaidOutSize().width(), pixels);
    return LaidOutSize().height() == pixels;
}

void Form::SetFontSize(double points) {
    Font font = GetFont();
    font.size = points;
    SetFont(font);
}

void Form::Load() { OnLoad(); }
void Form::Show() {
    InvalidateLayer();
    m_window->show();
}
void Form::ShowModal(Form* owner) {
    if (m_modalLoop != nullptr) return;  // already shown modal
    InvalidateLayer();
    m_window->setWindowModality(Qt::ApplicationModal);
    m_window->winId();  // the native window, to name its owner
    if (owner != nullptr && owner != this) {
        owner->Window()->winId();
        m_window->windowHandle()->setTransientParent(owner->Window()->windowHandle());
        // Over the middle of its owner, as a dialog comes up, not wherever it was last.
        const QRect over = owner->Window()->geometry();
        m_window->move(over.center() - QPoint(LaidOutSize().width(), LaidOutSize().height()) / 2);
    }
    m_window->show();
    // A modal window comes up on top, also where no window manager stacks it.
    m_window->raise();
    m_window->activateWindow();
    QEventLoop loop;
    m_modalLoop = &loop;
    if (m_window->isVisible()) loop.exec();
    m_modalLoop = nullptr;
    m_window->setWindowModality(Qt::NonModal);
    if (m_window->windowHandle() != nullptr) m_window->windowHandle()->setTransientParent(nullptr);
}

void Form::WindowHidden() {
    if (m_modalLoop != nullptr) m_modalLoop->quit();
}

bool Form::ClassDoubleClicks() { return g_classDoubleClicks; }
void Form::SetClassDoubleClicks(bool on) { g_classDoubleClicks = on; }

void Form::Hide() { m_window->hide(); }
bool Form::Visible() const { return m_window->isVisible(); }

bool Form::Close(int unloadMode) {
    if (!HandleClose(unloadMode)) return false;
    m_window->hide();
    return true;
}

bool Form::HandleClose(int unloadMode) {
    int cancel = 0;
    OnQueryUnload(cancel, unloadMode);
    if (cancel != 0) return false;
    OnUnload(cancel);
    return cancel == 0;
}

void Form::Refresh() {
    RenderLayer();
    if (m_window->isVisible()) m_surface->repaint();
}

void Form::Register(std::unique_ptr<Control> control) {
    m_controls.push_back(control.get());
    m_owned.push_back(std::move(control));
}

Image& Form::AddImage(const std::string& name, int index, Rect design) {
    auto image = std::make_unique<Image>(*this, name, index, design);
    Image& result = *image;
    Register(std::move(image));
    return result;
}

PictureBox& Form::AddPictureBox(const std::string& name, int index, Rect design) {
    auto box = std::make_unique<PictureBox>(*this, name, index, design);
    PictureBox& result = *box;
    Register(std::move(box));
    return result;
}

Label& Form::AddLabel(const std::string& name, int index, Rect design) {
    auto label = std::make_unique<Label>(*this, name, index, design);
    Label& result = *label;
    Register(std::move(label));
    return result;
}

Timer& Form::AddTimer(const std::string& name, int index, int intervalMs) {
    auto timer = std::make_unique<Timer>(*this, name, index, intervalMs);
    Timer& result = *timer;
    Register(std::move(timer));
    return result;
}

Menu& Form::AddMenu(const std::string& name, int index, const std::string& caption, Menu* parent) {
    auto menu = std::make_unique<Menu>(*this, name, index, caption, parent);
    Menu& result = *menu;
    Register(std::move(menu));
    return result;
}

QImage Form::Grab() {
    if (!m_layerValid) RenderLayer();
    return m_surface->grab().toImage();
}

QWidget* Form::Window() const { return m_window.get(); }
QWidget* Form::ClientWidget() const { return m_surface; }

QMenuBar* Form::MenuBar() {
    if (m_menuBar == nullptr) {
        m_menuBar = new QMenuBar(m_window.get());
        m_menuBar->setNativeMenuBar(false);
        static_cast<QVBoxLayout*>(m_window->layout())->setMenuBar(m_menuBar);
    }
    return m_menuBar;
}

void Form::PrintTargetChanged() {
    if (!m_inPaint) m_surface->update();
}

void Form::InvalidateLayer() {
    m_layerValid = false;
    m_surface->update();
}

void Form::InvalidateArea(const Rect& area) {
    const QRect pixels(
        static_cast<int>(std::floor(area.left)) - 1, static_cast<int>(std::floor(area.top)) - 1,
        static_cast<int>(std::ceil(area.width)) + 3, static_cast<int>(std::ceil(area.height)) + 3);
    m_surface->update(pixels);
}

void Form::RenderLayer() {
    m_layer.fill(ToQColor(m_backColor));
    if (!m_picture.isNull()) {
        QPainter painter(&m_layer);
        painter.drawImage(0, 0, m_picture);
    }
    m_layerValid = true;
    m_inPaint = true;
    OnPaint();
    m_inPaint = false;
}

void Form::PaintClient(QPainter& painter, const QRect& area) {
    if (!m_layerValid) RenderLayer();
    painter.drawImage(area, m_layer, area);
    for (Control* control : m_controls) {
        auto* image = dynamic_cast<Image*>(control);
        if (image == nullptr || !image->Visible() || image->GetPicture().isNull()) continue;
        const int left = static_cast<int>(std::lround(image->Left()));
        const int top = static_cast<int>(std::lround(image->Top()));
        const QRect shown(left, top, static_cast<int>(std::lround(image->Width())),
                          static_cast<int>(std::lround(image->Height())));
        if (!shown.intersects(area)) continue;
        painter.drawImage(QPoint(left, top), image->GetPicture(),
                          QRect(0, 0, shown.width(), shown.height()));
    }
}

Image* Form::HitTest(double x, double y) const {
    for (auto it = m_controls.rbegin(); it != m_controls.rend(); ++it) {
        auto* image = dynamic_cast<Image*>(*it);
        if (image != nullptr && image->Visible() && image->Contains(x, y)) return image;
    }
    return nullptr;
}

bool Form::IsSecondPressOfDoubleClick(int button, double x, double y, std::uint64_t timeMs) const {
    if (m_pressCount == 0 || button != m_lastPress.button || timeMs < m_lastPress.timeMs) {
        return false;
    }
    const QStyleHints* hints = QGuiApplication::styleHints();
    const auto interval = static_cast<std::uint64_t>(hints->mouseDoubleClickInterval());
    const double distance = std::abs(x - m_lastPress.x) + std::abs(y - m_lastPress.y);
    return timeMs - m_lastPress.timeMs < interval && distance <= hints->mouseDoubleClickDistance();
}

void Form::DispatchMouse(int kind, int button, int held, int shift, double x, double y,
                         std::uint64_t timeMs) {
    const double tx = Screen::TwipsPerPixelX();
    const double ty = Screen::TwipsPerPixelY();
    auto local = [&](const Image& image, const MouseHandler& handler, int buttons) {
        if (handler) {
            handler(buttons, shift, static_cast<float>((x - image.Left()) * tx),
                    static_cast<float>((y - image.Top()) * ty));
        }
    };
    if (kind == kMouseDown || kind == kMouseDblClick) {
        // Without double clicks the second press of one is an ordinary press; but it is not a
        // press on a control that the first click made appear in that place.
        const bool secondPress = IsSecondPressOfDoubleClick(button, x, y, timeMs);
        const int previousPress = m_pressCount;
        m_lastPress = PressRecord{button, x, y, timeMs};
        ++m_pressCount;
        Image* target = m_captured;
        if (target == nullptr && m_formButtons == 0) {
            target = HitTest(x, y);
            // A press that no enabled control takes belongs to the form itself: the form
            // holds the mouse until every button is up again.
            if (target != nullptr &&
                (!target->Enabled() || (secondPress && target->ShownAfterPress(previousPress)))) {
                target = nullptr;
            }
            if (target != nullptr) m_captured = target;
        }
        if (target == nullptr) {
            m_formButtons |= button;
            return;
        }
        m_capturedButtons |= button;
        if (kind == kMouseDblClick) {
            m_releaseClicks = false;
            if (target->Enabled() && target->DblClick) target->DblClick();
            return;
        }
        if (target->Enabled()) local(*target, target->MouseDown, button);
        return;
    }
    if (kind == kMouseMove) {
        if (held == 0) m_formButtons = 0;  // a release the form never saw
        if (m_captured == nullptr && m_formButtons != 0) return;
        Image* target = m_captured != nullptr ? m_captured : HitTest(x, y);
        if (target != nullptr && target->Enabled()) local(*target, target->MouseMove, held);
        return;
    }
    // A release goes where its press went; one without a press here reaches nobody.
    Image* target = m_captured;
    if (target == nullptr || (m_capturedButtons & button) == 0) {
        m_formButtons &= ~button;
        return;
    }
    m_capturedButtons &= ~button;
    const bool clicks = m_releaseClicks;
    if (m_capturedButtons == 0) {
        m_captured = nullptr;
        m_releaseClicks = true;
    }
    if (!target->Enabled()) return;
    local(*target, target->MouseUp, button);
    if (clicks && button == kLeftButton && target->Enabled() && target->Visible() &&
        target->Contains(x, y) && target->Click) {
        target->Click();
    }
}

}  // namespace forms
