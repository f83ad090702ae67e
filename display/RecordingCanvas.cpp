#include "display/RecordingCanvas.h"

namespace zop {

void RecordingCanvas::MoveTo(int x, int y)
{
    m_position = { x, y };
    m_ops.push_back(Op { OpKind::Move, m_position, m_position, {}, {}, m_pen, m_brush, m_font });
}

void RecordingCanvas::LineTo(int x, int y)
{
    m_ops.push_back(Op { OpKind::Line, m_position, { x, y }, {}, {}, m_pen, m_brush, m_font });
    m_position = { x, y };
}

void RecordingCanvas::FillRect(int x1, int y1, int x2, int y2)
{
    m_ops.push_back(Op { OpKind::Rect, { x1, y1 }, { x2, y2 }, {}, {}, m_pen, m_brush, m_font });
}

void RecordingCanvas::Polygon(const std::vector<Point>& points)
{
    m_ops.push_back(Op { OpKind::Polygon, {}, {}, points, {}, m_pen, m_brush, m_font });
}

void RecordingCanvas::TextOut(int x, int y, std::string_view text)
{
    m_ops.push_back(Op { OpKind::Text, { x, y }, { x, y }, {}, std::string(text), m_pen, m_brush, m_font });
}

std::vector<RecordingCanvas::Segment> RecordingCanvas::Segments() const
{
    std::vector<Segment> out;
    for (const Op& op : m_ops)
        if (op.Kind == OpKind::Line)
            out.push_back({ op.From, op.To, op.PenUsed });
    return out;
}

std::vector<RecordingCanvas::Fill> RecordingCanvas::Fills() const
{
    std::vector<Fill> out;
    for (const Op& op : m_ops)
        if (op.Kind == OpKind::Rect)
            out.push_back({ op.From.X, op.From.Y, op.To.X, op.To.Y, op.BrushUsed.Color });
    return out;
}

std::vector<RecordingCanvas::Op> RecordingCanvas::OfKind(OpKind kind) const
{
    std::vector<Op> out;
    for (const Op& op : m_ops)
        if (op.Kind == kind)
            out.push_back(op);
    return out;
}

} // namespace zop
