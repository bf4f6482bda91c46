#include "darkspaceflood.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

namespace {

struct Volume {
    Volume(int width, int height, const QVector<QByteArray>& layers)
        : width(width)
        , height(height)
        , layers(layers)
    {
        for (const QByteArray& layer : layers)
            for (char pixel : layer)
                darkVoxels.push_back(pixel == 0);
    }

    int width;
    int height;
    const QVector<QByteArray>& layers;
    std::vector<char> darkVoxels;

    bool dark(int x, int y, int z) const { return darkVoxels[index(x, y, z)]; }
    bool onBorder(int x, int y) const { return x == 0 || y == 0 || x == width - 1 || y == height - 1; }
    size_t index(int x, int y, int z) const { return (size_t(z) * size_t(height) + size_t(y)) * size_t(width) + size_t(x); }
};

struct Voxel {
    int x, y, z;
};

// Labels the dark voxels of layers 0..top through their 6 neighbours (-1 for
// lit ones); returns the number of components.
int labelDark(const Volume& v, int top, std::vector<int>& label)
{
    label.assign(v.index(0, 0, top + 1), -1);
    int count = 0;
    for (int z = 0; z <= top; ++z) {
        for (int y = 0; y < v.height; ++y) {
            for (int x = 0; x < v.width; ++x) {
                if (!v.dark(x, y, z) || label[v.index(x, y, z)] >= 0)
                    continue;
                std::vector<Voxel> stack{{x, y, z}};
                label[v.index(x, y, z)] = count;
                while (!stack.empty()) {
                    const Voxel p = stack.back();
                    stack.pop_back();
                    const Voxel around[] = {{p.x - 1, p.y, p.z}, {p.x + 1, p.y, p.z}, {p.x, p.y - 1, p.z},
                                            {p.x, p.y + 1, p.z}, {p.x, p.y, p.z - 1}, {p.x, p.y, p.z + 1}};
                    for (const Voxel& q : around) {
                        if (q.x < 0 || q.y < 0 || q.z < 0 || q.x >= v.width || q.y >= v.height || q.z > top
                            || !v.dark(q.x, q.y, q.z) || label[v.index(q.x, q.y, q.z)] >= 0)
                            continue;
                        label[v.index(q.x, q.y, q.z)] = count;
                        stack.push_back(q);
                    }
                }
                ++count;
            }
        }
    }
    return count;
}

// What one component of a labelling holds.
struct Component {
    qint64 pixels = 0;
    QRect box;
    int firstLayer = INT_MAX;
    int lastLayer = -1;
    bool onBorder = false;
    bool onPlate = false;
    int firstPixelInLast = 0; // raster position of its first pixel in its last layer
    qint64 topPixels = 0;     // in layer `top`
    QRect topBox;
    int firstTopPixel = 0;
};

std::vector<Component> describe(const Volume& v, int top, const std::vector<int>& label, int count)
{
    auto components = std::vector<Component>(size_t(count));
    for (int z = 0; z <= top; ++z) {
        for (int y = 0; y < v.height; ++y) {
            for (int x = 0; x < v.width; ++x) {
                const int l = label[v.index(x, y, z)];
                if (l < 0)
                    continue;
                Component& c = components[size_t(l)];
                ++c.pixels;
                c.box |= QRect(x, y, 1, 1);
                c.firstLayer = std::min(c.firstLayer, z);
                if (z > c.lastLayer) {
                    c.lastLayer = z;
                    c.firstPixelInLast = y * v.width + x;
                }
                c.onBorder = c.onBorder || v.onBorder(x, y);
                c.onPlate = c.onPlate || z == 0;
                if (z == top) {
                    if (c.topPixels == 0)
                        c.firstTopPixel = y * v.width + x;
                    ++c.topPixels;
                    c.topBox |= QRect(x, y, 1, 1);
                }
            }
        }
    }
    return components;
}

template <typename T>
QVector<T> inOrder(std::vector<std::pair<std::pair<int, int>, T>> keyed)
{
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QVector<T> sorted;
    for (const auto& k : keyed)
        sorted.append(k.second);
    return sorted;
}

void findTraps(const Volume& v, FloodedDarkSpace& out)
{
    const int last = v.layers.size() - 1;
    std::vector<int> label;
    const std::vector<Component> components = describe(v, last, label, labelDark(v, last, label));
    std::vector<std::pair<std::pair<int, int>, Trap>> traps;
    std::vector<char> isTrap(components.size(), 0);
    for (size_t l = 0; l < components.size(); ++l) {
        const Component& c = components[l];
        if (c.onBorder || c.onPlate || c.lastLayer == last)
            continue;
        isTrap[l] = 1;
        traps.push_back({{c.lastLayer, c.firstPixelInLast}, Trap{c.firstLayer, c.lastLayer, c.pixels, c.box}});
    }
    out.traps = inOrder(traps);
    for (int z = 0; z <= last; ++z) {
        QByteArray& mask = out.trapped[z];
        for (int i = 0; i < mask.size(); ++i) {
            const int l = label[size_t(z) * size_t(mask.size()) + size_t(i)];
            mask[i] = char(l >= 0 && isTrap[size_t(l)]);
        }
    }
}

// A sealed face at `layer`: a component of the labelling of layers 0..layer.
struct Face {
    int layer;
    qint64 pixels;
    QRect box;
    int firstPixel; // raster position of its first pixel
    Voxel anyVoxel;
};

int findRoot(std::vector<int>& parent, int i)
{
    while (parent[size_t(i)] != i)
        i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    return i;
}

void findCups(const Volume& v, FloodedDarkSpace& out)
{
    std::vector<Face> faces;
    std::vector<int> parent;
    std::vector<int> faceOf; // per component of the labelling: its face, or -1
    std::vector<int> label;
    for (int n = 0; n < v.layers.size(); ++n) {
        const int count = labelDark(v, n, label);
        const std::vector<Component> components = describe(v, n, label, count);
        faceOf.assign(size_t(count), -1);
        for (int l = 0; l < count; ++l) {
            const Component& c = components[size_t(l)];
            if (c.topPixels == 0 || c.onBorder)
                continue;
            faceOf[size_t(l)] = int(faces.size());
            const int p = c.firstTopPixel;
            faces.push_back(Face{n, c.topPixels, c.topBox, p, Voxel{p % v.width, p / v.width, n}});
            parent.push_back(int(parent.size()));
        }
        // A face at n - 1 belongs with the face at n of the component that contains it.
        for (size_t f = 0; f < faces.size(); ++f) {
            if (faces[f].layer != n - 1)
                continue;
            const Voxel& p = faces[f].anyVoxel;
            const int into = faceOf[size_t(label[v.index(p.x, p.y, p.z)])];
            if (into >= 0)
                parent[size_t(findRoot(parent, int(f)))] = findRoot(parent, into);
        }
        QByteArray& mask = out.faces[n];
        for (int i = 0; i < mask.size(); ++i) {
            const int l = label[size_t(n) * size_t(mask.size()) + size_t(i)];
            mask[i] = char(l >= 0 && faceOf[size_t(l)] >= 0);
        }
    }
    // Each cup, keyed by its last layer and its first pixel there.
    std::vector<Cup> cups(faces.size());
    std::vector<std::pair<int, int>> keys(faces.size(), {-1, 0});
    for (size_t f = 0; f < faces.size(); ++f) {
        const Face& face = faces[f];
        const size_t r = size_t(findRoot(parent, int(f)));
        Cup& cup = cups[r];
        if (keys[r].first < 0)
            cup = Cup{face.layer, face.layer, 0, QRect()};
        cup.firstLayer = std::min(cup.firstLayer, face.layer);
        cup.lastLayer = std::max(cup.lastLayer, face.layer);
        cup.maxFacePixels = std::max(cup.maxFacePixels, face.pixels);
        cup.box |= face.box;
        if (face.layer > keys[r].first)
            keys[r] = {face.layer, face.firstPixel};
        else if (face.layer == keys[r].first)
            keys[r].second = std::min(keys[r].second, face.firstPixel);
    }
    std::vector<std::pair<std::pair<int, int>, Cup>> keyed;
    for (size_t r = 0; r < faces.size(); ++r)
        if (findRoot(parent, int(r)) == int(r))
            keyed.push_back({keys[r], cups[r]});
    out.cups = inOrder(keyed);
}

} // namespace

FloodedDarkSpace floodFillDarkSpace(int width, int height, const QVector<QByteArray>& layers)
{
    FloodedDarkSpace out;
    out.trapped.fill(QByteArray(width * height, '\0'), layers.size());
    out.faces = out.trapped;
    if (layers.isEmpty() || width <= 0 || height <= 0)
        return out;
    const Volume v{width, height, layers};
    findTraps(v, out);
    findCups(v, out);
    return out;
}

QByteArray intervalMask(int width, int height, const std::vector<IslandFinder::Interval>& intervals)
{
    QByteArray mask(width * height, '\0');
    for (const IslandFinder::Interval& v : intervals)
        std::memset(mask.data() + v.row * width + v.x0, 1, size_t(v.x1 - v.x0 + 1));
    return mask;
}
