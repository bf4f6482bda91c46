#include "islandlabels.h"

#include <QPoint>

#include <vector>

QVector<Island> floodFillIslands(int width, int height, const QByteArray& layer, const QByteArray& below, int layerNumber)
{
    QVector<Island> islands;
    std::vector<char> seen(size_t(layer.size()), 0);
    auto lit = [width](const QByteArray& bitmap, int x, int y) { return bitmap[y * width + x] != 0; };
    for (int y0 = 0; y0 < height; ++y0) {
        for (int x0 = 0; x0 < width; ++x0) {
            if (!lit(layer, x0, y0) || seen[size_t(y0 * width + x0)])
                continue;
            Island region{layerNumber, 0, QRect(x0, y0, 1, 1)};
            bool resting = false;
            std::vector<QPoint> stack{QPoint(x0, y0)};
            seen[size_t(y0 * width + x0)] = 1;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                ++region.pixels;
                region.box = region.box.united(QRect(p, p));
                resting = resting || lit(below, p.x(), p.y());
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int x = p.x() + dx, y = p.y() + dy;
                        if (x < 0 || y < 0 || x >= width || y >= height || !lit(layer, x, y) || seen[size_t(y * width + x)])
                            continue;
                        seen[size_t(y * width + x)] = 1;
                        stack.emplace_back(x, y);
                    }
                }
            }
            if (!resting)
                islands.append(region);
        }
    }
    return islands;
}
