#pragma once
// Keeps the status line's text (the grid size, say) across an operation that
// writes its progress there: what the line said before comes back when the
// keeper goes, so the line never goes on announcing a step that has ended
// ("Recalc forward" after an inversion) or goes blank after a save.
//
//   {
//       StatusTextKeeper keep(progress_label);
//       ... progress_label->setText("Saving ...") ...
//   }   // the text from before is back
#include <QLabel>
#include <QPointer>
#include <QString>

// Adds a note after what the status line says (a grid size the view has put
// there, say), separated by "; ". Nothing for an empty note or no line.
inline void append_status_note(QLabel* label, const QString& note)
{
    if (note.isEmpty() || !label)
        return;
    const QString shown = label->text();
    label->setText(shown.isEmpty() ? note : shown + QStringLiteral("; ") + note);
}

class StatusTextKeeper
{
public:
    explicit StatusTextKeeper(QLabel* label) : label_(label), text_(label ? label->text() : QString()) {}
    ~StatusTextKeeper()
    {
        if (label_)
            label_->setText(text_);
    }
    StatusTextKeeper(const StatusTextKeeper&) = delete;
    StatusTextKeeper& operator=(const StatusTextKeeper&) = delete;

private:
    QPointer<QLabel> label_;
    QString text_;
};
