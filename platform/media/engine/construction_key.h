// Lets a class's own factory, and nobody else, construct it: its constructor is public for
// std::make_unique but takes a key only the class can make.
#pragma once

namespace media::engine {

template <class T>
class ConstructionKey {
  friend T;
  ConstructionKey() = default;
};

}  // namespace media::engine
