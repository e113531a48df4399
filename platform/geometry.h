// Points, sizes and rectangles in the saver view's convention: a
// rectangle's origin is its bottom-left corner and y grows upwards.
#pragma once



namespace platform {

struct Point {
    double x = 0, y = 0;
};
struct Size {
    double width = 0, height = 0;
};
struct Rect {
    Point origin;
    Size size;
    static Rect make(double x, double y, double w, double h) { return Rect{{x, y}, {w, h}}; }
};

}  // namespace platform
