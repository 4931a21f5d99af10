#pragma once

#include <QValidator>

class QLineEdit;
class QPlainTextEdit;

namespace zelvar {

// Keeps out of a text field what the program's Windows-1252 files cannot hold ("Ω", "€"
// is fine): such characters are dropped as they are typed or pasted, the rest of a paste
// goes in. refused() names what was dropped, so the field can tell the user.
class Windows1252Validator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;

    State validate(QString &input, int &pos) const override;

signals:
    void refused(const QStringList &characters) const;
};

// Gives the field the validator, and a tool tip at the field naming what it refused.
void keepToWindows1252(QLineEdit *edit);
void keepToWindows1252(QPlainTextEdit *edit);

} // namespace zelvar
