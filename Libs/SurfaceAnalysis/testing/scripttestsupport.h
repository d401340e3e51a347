#pragma once

// Running Python in the host's script namespace (__main__) from a test.

#include <Python.h>

#include <QString>

// Runs statements; empty, or the name of the exception they raised (its text in message).
inline QString runPython(const QString& code, QString* message = nullptr)
{
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* result = PyRun_String(code.toUtf8().constData(), Py_file_input, globals, globals);
    if (result)
    {
        Py_DECREF(result);
        return QString();
    }
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    const QString name = type ? QString(reinterpret_cast<PyTypeObject*>(type)->tp_name) : QString("?");
    if (message)
    {
        PyObject* text = value ? PyObject_Str(value) : nullptr;
        *message = text ? QString::fromUtf8(PyUnicode_AsUTF8(text)) : QString();
        Py_XDECREF(text);
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_Clear();
    return name;
}

// str() of an expression's value, or "<raised ...>".
inline QString evalPython(const QString& expression)
{
    PyObject* globals = PyModule_GetDict(PyImport_AddModule("__main__"));
    PyObject* result = PyRun_String(expression.toUtf8().constData(), Py_eval_input, globals, globals);
    PyObject* text = result ? PyObject_Str(result) : nullptr;
    QString out;
    if (text)
        out = QString::fromUtf8(PyUnicode_AsUTF8(text));
    else
    {
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        out = QString("<raised %1>").arg(type ? reinterpret_cast<PyTypeObject*>(type)->tp_name : "?");
        Py_XDECREF(type);
        Py_XDECREF(value);
        Py_XDECREF(traceback);
    }
    Py_XDECREF(text);
    Py_XDECREF(result);
    return out;
}
