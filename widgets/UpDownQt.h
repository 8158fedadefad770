#pragma once
// An up-down control: a pair of arrow buttons over a position within a range.
// A click moves the position by one and reports the new position; at the end
// of the range the click changes nothing and reports nothing. Setting the
// position from the program reports nothing either.

#include <QWidget>

class QToolButton;

class UpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // Clamped to the range.
    void setPosition(int position);
    int position() const { return position_; }

    // What a click on the arrows does.
    void stepUp();
    void stepDown();

    // What a screen reader calls the arrows: what a step does here.
    void setArrowNames(const QString& up, const QString& down);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void positionChanged(int position);

protected:
    void keyPressEvent(class QKeyEvent* event) override;

private:
    void step(int delta);

    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};
