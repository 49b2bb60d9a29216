#pragma once
// Finding a window's controls as a user's tools would: by object name. The
// windows keep their controls private; every control's object name is the
// name of the member that holds it.
#include <gtest/gtest.h>

#include <memory>

#include <QObject>
#include <QString>

// The control of that name and type below parent; a missing one fails the
// test (and gives nullptr).
template <class T>
T* Child(const QObject* parent, const char* name)
{
    T* control = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!control) ADD_FAILURE() << "no control named " << name;
    return control;
}

template <class T>
T* Child(const QObject& parent, const char* name)
{
    return Child<T>(&parent, name);
}

template <class T, class U>
T* Child(const std::unique_ptr<U>& parent, const char* name)
{
    return Child<T>(parent.get(), name);
}
