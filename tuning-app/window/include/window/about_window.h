#pragma once
// The disclaimer window "frmAbout": shown at start-up before the main window, which builds
// itself only once the disclaimer is accepted; later the Help menu shows it as the about box.
#include "forms/form.h"

namespace dravik {

class MainWindow;

class AboutWindow : public forms::Form {
public:
    static constexpr const char* kVersionLine = "Version 1.0.176";

    explicit AboutWindow(MainWindow& main);

    forms::Label* lblTitle = nullptr;
    forms::Label* lblDisclaimerTitle = nullptr;
    forms::Label* lblDescription = nullptr;
    forms::Label* lblVersion = nullptr;
    forms::Image* btnAccept = nullptr;
    forms::Image* picIcon = nullptr;
    forms::Image* Image1 = nullptr;

    // Whether the window is loaded (its Form_Load ran since it was last unloaded).
    bool Loaded() const { return m_loaded; }
    // Shows the window, loading it first when it is not loaded; modal over owner, or
    // modeless when owner is nullptr.
    void ShowLoaded(forms::Form* owner);
    // Unloads the window as code does (query-unload, unload, hidden).
    void Unload();

    void Form_Load();
    void btnAccept_Click();
    void SetAcceptImage(bool pressed);
    void Form_QueryUnload(int& cancel, int unloadMode);

protected:
    void OnLoad() override { Form_Load(); }
    void OnQueryUnload(int& cancel, int unloadMode) override {
        Form_QueryUnload(cancel, unloadMode);
    }
    void OnUnload(int& cancel) override { m_loaded = false; }
    // Enter is the accept button, Escape the close box, for a user at the keyboard.
    void OnKeyDown(int keyCode, int shift) override;

private:
    MainWindow& m_main;
    bool m_loaded = false;
};

}  // namespace dravik
