#pragma once
// A form: a top-level window with an optional menu bar above a fixed client area in pixels.
// The client area shows the background picture, then what the Paint event prints, then the
// windowless images in collection order; picture boxes are child windows above all that.
// A press captures the mouse until its release: for the enabled image under it, or for the
// form itself when it lands beside every enabled image (the images then see neither the
// moves nor the release). The form takes no double clicks: the second press of one is an
// ordinary press, except that it never lands on an image that the first click showed.
#include <QImage>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"
#include "forms/image.h"
#include "forms/label.h"
#include "forms/menu.h"
#include "forms/picture_box.h"
#include "forms/surface.h"
#include "forms/timer.h"

class QWidget;
class QMenuBar;
class QSize;
class QEventLoop;

namespace forms {

class FormWindow;
class FormSurface;

// Why a form is asked to unload.
inline constexpr int kUnloadFromControlMenu = 0;
inline constexpr int kUnloadFromCode = 1;

// Key codes of the keys a form is told of (the virtual-key codes).
inline constexpr int kKeyReturn = 13;
inline constexpr int kKeyEscape = 27;

template <typename T>
class ControlArray {
public:
    T& operator()(int index) const { return *m_items.at(static_cast<std::size_t>(index)); }
    int Count() const { return static_cast<int>(m_items.size()); }
    void Add(T& item) { m_items.push_back(&item); }

private:
    std::vector<T*> m_items;
};

class Form : public Surface {
public:
    Form(std::string name, int clientWidth, int clientHeight);
    ~Form() override;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return m_name; }
    std::string Caption() const;
    void SetCaption(const std::string& caption);

    const Picture& GetPicture() const { return m_picture; }
    void SetPicture(const Picture& picture);
    OleColor BackColor() const { return m_backColor; }
    void SetBackColor(OleColor color);

    // Client area in the scale unit (pixels).
    double ScaleWidth() const { return m_clientWidth; }
    double ScaleHeight() const { return m_clientHeight; }
    // Position of the window's frame on the screen, in twips.
    double Left() const;
    double Top() const;
    // Outer size of the window in twips: its client area and menu bar, as laid out (the
    // window manager's frame is not the program's to size). Read and written alike.
    double Width() const;
    double Height() const;
    bool SetWidth(double twips);
    bool SetHeight(double twips);
    double FontSize() const { return GetFont().size; }
    void SetFontSize(double points);

    void Load();  // raises the Load event
    void Show();
    // Shows the form modal over owner (nullptr: no owner) and returns once it is hidden or
    // closed; window events, timers included, go on meanwhile.
    void ShowModal(Form* owner);
    void Hide();
    bool Visible() const;
    // Asks the form to close as the window's close box does (QueryUnload, then Unload).
    bool Close(int unloadMode = kUnloadFromCode);

    // Repaints the client area at once: background, Paint event, images.
    void Refresh();

    // Controls, in the order they were created (the form's control collection).
    const std::vector<Control*>& Controls() const { return m_controls; }
    Image& AddImage(const std::string& name, int index, Rect design);
    PictureBox& AddPictureBox(const std::string& name, int index, Rect design);
    Label& AddLabel(const std::string& name, int index, Rect design);
    Timer& AddTimer(const std::string& name, int index, int intervalMs);
    Menu& AddMenu(const std::string& name, int index, const std::string& caption, Menu* parent);

    // The client area as it is shown now (screenshots, tests).
    QImage Grab();

    QWidget* Window() const;
    QWidget* ClientWidget() const;
    QMenuBar* MenuBar();

    // The style of the window class that every form shares. With double clicks on (as at
    // program start), a fast second left press reaches the image under it as DblClick, with
    // no MouseDown, and its release raises no Click; off, it is an ordinary press.
    static bool ClassDoubleClicks();
    static void SetClassDoubleClicks(bool on);

protected:
    virtual void OnLoad() {}
    virtual void OnQueryUnload(int& cancel, int unloadMode) {}
    virtual void OnUnload(int& cancel) {}
    virtual void OnResize() {}
    virtual void OnPaint() {}
    // Enter or Escape pressed while the form is the active window (shift: the shift mask).
    virtual void OnKeyDown(int keyCode, int shift) {}

    QImage* PrintTarget() override { return &m_layer; }
    void PrintTargetChanged() override;

private:
    friend class FormWindow;
    friend class FormSurface;
    friend class Image;
    friend class PictureBox;
    friend class Menu;

    void PaintClient(class QPainter& painter, const class QRect& area);
    void RenderLayer();
    void InvalidateLayer();
    void InvalidateArea(const Rect& area);
    void DispatchMouse(int kind, int button, int held, int shift, double x, double y,
                       std::uint64_t timeMs);
    // Whether a press comes within the system's double-click interval and distance of the
    // previous press of the same button (times are the input events' own stamps).
    bool IsSecondPressOfDoubleClick(int button, double x, double y, std::uint64_t timeMs) const;
    int PressCount() const { return m_pressCount; }
    bool HandleClose(int unloadMode);
    Image* HitTest(double x, double y) const;
    void RaiseResize() { OnResize(); }
    void WindowHidden();
    void Register(std::unique_ptr<Control> control);
    QSize LaidOutSize() const;

    std::string m_name;
    int m_clientWidth;
    int m_clientHeight;
    Picture m_picture;
    OleColor m_backColor = 0x8000000F & 0xFFFFFF;
    QImage m_layer;
    bool m_layerValid = false;
    bool m_inPaint = false;
    std::vector<std::unique_ptr<Control>> m_owned;
    std::vector<Control*> m_controls;
    Image* m_captured = nullptr;
    int m_capturedButtons = 0;
    int m_formButtons = 0;  // buttons pressed where no control took the press
    struct PressRecord {
        int button = 0;
        double x = 0;
        double y = 0;
        std::uint64_t timeMs = 0;
    };
    PressRecord m_lastPress;
    int m_pressCount = 0;         // presses dispatched so far
    bool m_releaseClicks = true;  // false after a double click until every button is up
    QEventLoop* m_modalLoop = nullptr;
    std::unique_ptr<FormWindow> m_window;
    FormSurface* m_surface = nullptr;
    QMenuBar* m_menuBar = nullptr;
};

}  // namespace forms
