#pragma once

#include <QString>

class MediumWait;

// What media access asks of the user; the main window answers with its dialogs.
class MediaPrompts {
public:
    virtual ~MediaPrompts() = default;

    // The password prompt with the medium's label as caption. Returns false on Cancel.
    // With withUserName false the user name field is hidden and `user` is left alone.
    virtual bool askPassword(const QString& caption, bool withUserName, QString& user,
                             QString& password) = 0;

    // A warning box with an OK button.
    virtual void warn(const QString& text) = 0;

    // A question with Yes and No; true on Yes.
    virtual bool confirm(const QString& text) = 0;

    // The insert-medium dialog for a label, shown modally: it starts `wait`, closes when
    // it reports found or cancelled, and returns the found root (empty on Cancel).
    virtual QString waitForMedium(const QString& label, MediumWait& wait) = 0;
};
