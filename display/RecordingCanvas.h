#pragma once
// A Canvas that records every drawing call instead of drawing, so tests can
// check the figures a renderer produces. Texts are measured as 6 units per
// byte.
#include <string>
#include <vector>

#include "display/Canvas.h"

namespace zop {

class RecordingCanvas : public Canvas {
public:
    enum class OpKind { Move, Line, Rect, Polygon, Text };
    struct Op {
        OpKind Kind;
        Point From; // Line: start; Rect: first corner; Move, Text: the point
        Point To; // Line: end (not covered); Rect: second corner
        std::vector<Point> Points; // Polygon
        std::string Text;
        Pen PenUsed;
        Brush BrushUsed;
        Font FontUsed;
    };
    struct Segment {
        Point From;
        Point To;
        Pen PenUsed;
        bool operator==(const Segment&) const = default;
    };
    struct Fill {
        int X1, Y1, X2, Y2;
        Rgb Color;
        bool operator==(const Fill&) const = default;
    };

    void SetPen(const Pen& pen) override { m_pen = pen; }
    Pen GetPen() const override { return m_pen; }
    void SetBrush(const Brush& brush) override { m_brush = brush; }
    Brush GetBrush() const override { return m_brush; }
    void SetFont(const Font& font) override { m_font = font; }
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void FillRect(int x1, int y1, int x2, int y2) override;
    void Polygon(const std::vector<Point>& points) override;
    void TextOut(int x, int y, std::string_view text) override;
    int TextWidth(std::string_view text) override { return 6 * static_cast<int>(text.size()); }

    const std::vector<Op>& Ops() const { return m_ops; }
    void Clear() { m_ops.clear(); }
    // The drawn lines in order (moves left out), and the filled rectangles.
    std::vector<Segment> Segments() const;
    std::vector<Fill> Fills() const;
    std::vector<Op> OfKind(OpKind kind) const;

private:
    std::vector<Op> m_ops;
    Pen m_pen;
    Brush m_brush;
    Font m_font;
    Point m_position;
};

} // namespace zop
