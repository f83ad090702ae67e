#pragma once
// The About box: the program's picture, its name, version and maker, and an
// OK button that closes it.
#include <QDialog>
#include <QPixmap>

namespace zop {

// The picture of the About box: the hand-held instrument showing a trace.
QPixmap AboutPicture();

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace zop
