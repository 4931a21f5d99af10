#include "widgets/Windows1252Validator.h"

#include "common/ProfileFile.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextCursor>
#include <QToolTip>

namespace zelvar {

namespace {

QString refusalText(const QStringList &characters)
{
    QStringList quoted;
    for (const QString &character : characters)
        quoted << QStringLiteral("« %1 »").arg(character);
    return (characters.size() == 1
                ? QStringLiteral("Caractère refusé, les fichiers de réglages ne peuvent pas le contenir : %1")
                : QStringLiteral("Caractères refusés, les fichiers de réglages ne peuvent pas les contenir : %1"))
        .arg(quoted.join(QStringLiteral(", ")));
}

void showRefusal(QWidget *field, const QStringList &characters)
{
    QToolTip::showText(field->mapToGlobal(QPoint(0, field->height())), refusalText(characters), field);
}

} // namespace

QValidator::State Windows1252Validator::validate(QString &input, int &pos) const
{
    const QStringList outside = charactersOutsideWindows1252(input);
    if (outside.isEmpty())
        return Acceptable;
    for (const QString &character : outside) {
        pos -= int(QStringView(input).left(pos).count(character) * character.size());
        input.remove(character);
    }
    emit refused(outside);
    return Acceptable;
}

void keepToWindows1252(QLineEdit *edit)
{
    auto *validator = new Windows1252Validator(edit);
    QObject::connect(validator, &Windows1252Validator::refused, edit,
                     [edit](const QStringList &characters) { showRefusal(edit, characters); });
    edit->setValidator(validator);
}

void keepToWindows1252(QPlainTextEdit *edit)
{
    // A multi-line edit takes no validator: what was typed or pasted is mended at once, as
    // one step the user can undo.
    auto *validator = new Windows1252Validator(edit);
    QObject::connect(validator, &Windows1252Validator::refused, edit,
                     [edit](const QStringList &characters) { showRefusal(edit, characters); });
    QObject::connect(edit, &QPlainTextEdit::textChanged, validator, [edit, validator] {
        QString text = edit->toPlainText();
        int pos = edit->textCursor().position();
        const QString typed = text;
        validator->validate(text, pos);
        if (text == typed)
            return;
        QTextCursor cursor(edit->document());
        cursor.select(QTextCursor::Document);
        cursor.insertText(text);
        cursor.setPosition(pos);
        edit->setTextCursor(cursor);
    });
}

} // namespace zelvar
