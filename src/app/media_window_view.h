#pragma once

#include "media_view.h"

class TForm1;

// Media access's view on the main window.
class MediaWindowView : public MediaView {
public:
    explicit MediaWindowView(TForm1& window) : window_(window) {}

    QMessageBox::StandardButton ask(QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons) override;
    void setStatusText(const QString& text) override;
    void addStatusWidget(QWidget* widget) override;
    QString selectedMedium() const override;
    bool askEject(const QPoint& globalPos) override;
    void closeWindow() override;

private:
    TForm1& window_;
};
