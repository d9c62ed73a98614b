// The about window: the product's about artwork and nothing else. The user closes it with
// the window's close button.
#pragma once

#include <QDialog>

namespace shell {

class frmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr int PictureWidth = 341;
    static constexpr int PictureHeight = 210;

    explicit frmAbout(QWidget* owner = nullptr);
    ~frmAbout() override;
};

} // namespace shell
