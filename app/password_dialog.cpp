#include "password_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace ostrel::app {

std::optional<PasswordAnswer> AskPassword(QWidget* parent, const QString& who) {
    QDialog dialog(parent);
    dialog.setObjectName("dlgPassword");
    dialog.setWindowTitle(QString::fromUtf8("Mot de passe du serveur"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QString::fromUtf8("Mot de passe de %1 :").arg(who), &dialog));
    auto* txtPassword = new QLineEdit(&dialog);
    txtPassword->setObjectName("txtPassword");
    txtPassword->setEchoMode(QLineEdit::Password);
    layout->addWidget(txtPassword);
    auto* chkKeep =
        new QCheckBox(QString::fromUtf8("&Garder dans ~/.pgpass (lisible par vous seul)"), &dialog);
    chkKeep->setObjectName("chkKeep");
    layout->addWidget(chkKeep);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || txtPassword->text().isEmpty())
        return std::nullopt;
    PasswordAnswer answer{txtPassword->text().toStdString(), chkKeep->isChecked()};
    txtPassword->clear();
    return answer;
}

} // namespace ostrel::app
