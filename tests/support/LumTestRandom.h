#pragma once
// Fixed answers of the utilities' random numbers, so that tests know the names they make.

#include "lib/LumLX/LumLXUtils.h"

#include <cstdint>
#include <vector>

/// Makes RandomNumber answer the given values, in turn, while it lives.
class TRandomValues {
  public:
    explicit TRandomValues(std::vector<std::int32_t> values) : values_(std::move(values)) {
        previous_ = SetRandomSource([this] { return values_.at(next_++); });
    }
    TRandomValues(const TRandomValues&) = delete;
    TRandomValues& operator=(const TRandomValues&) = delete;
    ~TRandomValues() { SetRandomSource(std::move(previous_)); }

    /// How many values were asked for.
    std::size_t Used() const { return next_; }

  private:
    std::vector<std::int32_t> values_;
    std::size_t next_ = 0;
    TRandomSource previous_;
};
