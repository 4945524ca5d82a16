#pragma once

#include <QWidget>

class QTimer;

// The search tips balloon "Tips für die Suche" below the quick-search field. Closes on
// any key press and as soon as the mouse moves onto it.
class TForm7a : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 304;
    static constexpr int kHeight = 448;
    static constexpr int kPointerOffset = 56; // the pointer's left edge

    explicit TForm7a(QWidget* parent = nullptr);

    // Shows the balloon for the mouse at `mouseGlobal` below an input line whose bottom
    // edge is at global y `inputBottom`, on the screen with geometry `screen`.
    void showAt(const QPoint& mouseGlobal, int inputBottom, const QRect& screen);

    // Left: the smaller of (screen right edge - width) and (mouse x - pointer offset),
    // kept on the screen; top: the input line's bottom edge.
    static QPoint placement(const QPoint& mouseGlobal, int inputBottom, const QRect& screen,
                            const QSize& size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    QTimer* fadeTimer_ = nullptr;
};
