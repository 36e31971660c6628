#include "opposition_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel::app {

std::optional<QString> AskOppositionReason(QWidget* parent, std::int64_t serial) {
    QDialog dialog(parent);
    dialog.setObjectName("dlgOpposition");
    dialog.setWindowTitle("Faire opposition");
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(
        QString("Carte %1 : raison de l'opposition (perdue, volée…) :").arg(serial), &dialog);
    layout->addWidget(label);
    auto* txtReason = new QLineEdit(&dialog);
    txtReason->setObjectName("txtReason");
    label->setBuddy(txtReason);
    layout->addWidget(txtReason);
    auto* lblRefusal = new QLabel(&dialog);
    lblRefusal->setObjectName("lblReasonRefusal");
    QPalette red = lblRefusal->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblRefusal->setPalette(red);
    layout->addWidget(lblRefusal);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    // The card stays usable until a reason is given: an empty one is said so, here.
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        if (txtReason->text().trimmed().isEmpty()) {
            lblRefusal->setText("Une opposition dit sa raison : entrez-la");
            txtReason->setFocus();
            return;
        }
        dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return txtReason->text().trimmed();
}

} // namespace ostrel::app
