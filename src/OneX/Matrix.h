#pragma once

// A small row-major matrix for the fixed arrays of the synthesis (Walsh
// matrices, the 16 x 16 RRI array). Indices are 0-based.

#include <cstddef>
#include <span>
#include <vector>

namespace onex {

template <class T>
class Matrix {
  public:
    Matrix() = default;
    Matrix(std::size_t rows, std::size_t cols, T value = T{})
        : rows_(rows), cols_(cols), data_(rows * cols, value) {}

    std::size_t rows() const { return rows_; }
    std::size_t cols() const { return cols_; }

    T& operator()(std::size_t r, std::size_t c) { return data_[r * cols_ + c]; }
    const T& operator()(std::size_t r, std::size_t c) const { return data_[r * cols_ + c]; }

    std::span<T> row(std::size_t r) { return {data_.data() + r * cols_, cols_}; }
    std::span<const T> row(std::size_t r) const { return {data_.data() + r * cols_, cols_}; }

    const std::vector<T>& data() const { return data_; }

    bool operator==(const Matrix&) const = default;

  private:
    std::size_t rows_ = 0;
    std::size_t cols_ = 0;
    std::vector<T> data_;
};

using RealMatrix = Matrix<double>;

}  // namespace onex
