#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace fabricor {

class ClickableLabel;
class Shell;

// The About box: the product's identity and a link to its web page. Holds no state.
class TFAbout2 : public QDialog {
    Q_OBJECT
public:
    explicit TFAbout2(Shell& shell, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    // Both the logo and the web address open the product page.
    void Label4Click();

private:
    QLabel* AddLabel(const char* name, const QString& text, QPoint place);

    Shell& shell_;
};

// Our logo: a black square with a white "F" standing on a row of connector pins, drawn at the
// given size so it stays sharp wherever it is shown.
QPixmap FabricorLogo(int size);

} // namespace fabricor
