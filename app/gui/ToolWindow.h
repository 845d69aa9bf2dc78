#pragma once
// What the log window and the history window share: a top-level window placed from a
// stored rectangle (four times -1 for maximized), hidden or minimized with the main
// window, and modal dialogs that the document knows about while they are open.

#include "settings/SettingsStore.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

#include <functional>

namespace vireo {

class CVireoDoc;

class ToolWindow : public QMainWindow {
    Q_OBJECT
public:
    // The document's "window free" flag of this kind of window (its open command waits
    // while a dialog of the window is open).
    using FreeFlag = void (CVireoDoc::*)(bool free);
    // doc may be null (no document to tell about dialogs or activation).
    ToolWindow(CVireoDoc* doc, FreeFlag freeFlag, std::string_view rectKey);
    ~ToolWindow() override;

    // The rectangle from (w/4, h/8) to (3w/4, 7h/8) of a screen.
    static Rect DefaultRect(const QSize& screen);
    // Geometry from the stored rectangle, then shown (maximized when it says so).
    void PlaceAndShow();
    // The normal rectangle, or -1 -1 -1 -1 while maximized.
    void SavePlacement();
    // Hidden (or minimized) with the main window, ending an open dialog; shown again.
    void FollowMainWindow(bool show);
    // The modal dialog the window shows now, if any.
    QDialog* CurrentDialog() const { return m_dialog; }

protected:
    // Runs a dialog (a child of this window, made with new) modally while the document
    // counts it, calls accepted when it ends with OK, and frees it. The window may be
    // destroyed while the dialog is open (its item was removed): then nothing more
    // happens and the result is false.
    bool RunDialog(QDialog* dialog, const std::function<void()>& accepted = {});
    // The about box of a window: its icon, the text, the support contact, the product
    // line and OK.
    QDialog* MakeAbout(const QString& title, const QIcon& icon, const QString& text);

    void changeEvent(QEvent* event) override;

private:
    void SetDialogOpen(bool open);

    CVireoDoc* m_doc;
    FreeFlag m_freeFlag;
    std::string m_rectKey;
    QPointer<QDialog> m_dialog;
};

} // namespace vireo
