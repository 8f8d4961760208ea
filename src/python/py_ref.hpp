#pragma once

#include <Python.h>

#include <utility>

namespace tessarine::python {

// Owner of one strong reference. The only place in the module that calls Py_DECREF, so every
// early return releases what it holds. `release()` hands the reference to an API that steals
// it (PyArray_SetBaseObject) or to the interpreter as a call's result.
class PyRef {
 public:
  PyRef() noexcept = default;
  ~PyRef() { Py_XDECREF(object_); }

  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef(std::move(other)).swap(*this);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;

  // Takes over a new reference, typically the result of a C API call (null on failure).
  [[nodiscard]] static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
  // Adds a reference of its own to an object the caller only borrows.
  [[nodiscard]] static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }

  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}
  void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

  PyObject* object_ = nullptr;
};

}  // namespace tessarine::python
