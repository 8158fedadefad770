#pragma once
// The window both the report viewer and the parameter text editor use: a
// frame with a heading, a text area in a fixed-pitch font, a save button and
// OK. It opens at its layout's size and may be made larger or maximised: the
// text area takes the space.
#include <QDialog>
#include <string>

class AppContext;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class ResizeAnchors;

class FileViewDialog : public QDialog {
    Q_OBJECT
public:
    // frameText: the text number of the frame's caption.
    FileViewDialog(const AppContext& ctx, QWidget* parent, uint32_t frameText, bool editable);

    // The text area's content as single-byte text with LF line ends.
    std::string areaText() const;

protected:
    // Shows text with CR LF or LF line ends.
    void showAreaText(const std::string& text);
    virtual void onSave() = 0;
    // A button of the bottom row that keeps its place from the bottom right corner.
    void keepAtCorner(QWidget* button);
    QPlainTextEdit* area() const { return area_; }

private:
    QPlainTextEdit* area_ = nullptr;
    ResizeAnchors* anchors_ = nullptr;
};
