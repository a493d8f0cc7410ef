// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A modal dialog box made from a template of the program's resources, with
// its behaviour in a class of its own; and what a run without a user asks of
// one (the values typed in, the button pressed, what it shows told on
// standard output).

#include <windows.h>

#include <functional>
#include <string>

namespace sarvik::win32 {

/// What a box does when the program drives itself (--self-test): `input` is
/// the step's value; `report` takes each line the box shows.
struct DialogDriver {
    std::wstring input;
    unsigned holdMs = 0; ///< how long the box stays on screen before it is closed
    std::function<void(const std::string&)> report;
};

class DialogBase {
public:
    virtual ~DialogBase();
    DialogBase() = default;
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    /// Shows the box from template `templateId` over `owner` until it closes;
    /// returns the id of the button that closed it (IDCANCEL for the close box).
    /// With `driver`, the box plays its part by itself.
    INT_PTR run(HINSTANCE instance, HWND owner, int templateId, const DialogDriver* driver = nullptr);

protected:
    /// The box exists, its controls too: fill them.
    virtual void init() {}
    /// A button or a control's notice; true when taken.
    virtual bool command(int id, int code);
    virtual INT_PTR notify(const NMHDR& /*header*/, LPARAM /*lParam*/) { return 0; }
    /// Any other message; true when taken (`result` is then the answer).
    virtual bool message(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& /*result*/) { return false; }
    /// A run without a user: the box does its part (types the driver's input,
    /// presses its buttons) and ends with finish(). The default tells what it
    /// shows and presses OK.
    virtual void drive();

    [[nodiscard]] HWND handle() const { return m_dialog; }
    [[nodiscard]] HWND item(int id) const { return ::GetDlgItem(m_dialog, id); }
    void setText(int id, const std::wstring& text) const;
    [[nodiscard]] std::wstring text(int id) const;
    void close(INT_PTR result) const { ::EndDialog(m_dialog, result); }
    [[nodiscard]] const DialogDriver* driver() const { return m_driver; }
    /// Tells the driver's report every control's text: "caption: value" for
    /// a value after its caption, each row of a list.
    void reportShown() const;
    /// Presses button `id` once the driver's hold is over.
    void finish(int id);
    /// Presses button `id` as a user would.
    void press(int id) const;

private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    /// Dark mode: the box's frame, lists and labels in dark colours.
    void applyDark();
    INT_PTR darkColours(UINT message, HDC dc);

    HWND m_dialog = nullptr;
    const DialogDriver* m_driver = nullptr;
    bool m_dark = false;
    HBRUSH m_darkBrush = nullptr, m_paneBrush = nullptr;
    int m_finishWith = 0;
};

} // namespace sarvik::win32
