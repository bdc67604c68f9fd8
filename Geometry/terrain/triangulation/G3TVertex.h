#pragma once
// A point of the planar triangulation: plan position (x, y), the height it
// carries along unchanged, and the links a caller of the triangulation needs
// afterwards (the output mesh vertex made for it and one user pointer).
//
// Vertices are created and owned by the triangulation engine; their address
// never changes while the engine lives.

class G3Vertex;

class G3TVertex {
public:
    double GetX() const { return x; }
    double GetY() const { return y; }
    double GetZ() const { return z; }
    void SetZ(double height) { z = height; }
    // Position in the engine's vertex list (creation order).
    int GetId() const { return id; }

    // The mesh vertex that was made for this point when the triangulation was
    // read back (null before). Whoever welds or removes output vertices must
    // repoint this link to the surviving vertex, or clear it.
    G3Vertex* GetOutputVertex() const { return output; }
    void SetOutputVertex(G3Vertex* v) { output = v; }

    void* GetUserData() const { return user; }
    void SetUserData(void* data) { user = data; }

    // Plan coordinates and height.
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    int id = -1;
    G3Vertex* output = nullptr;
    void* user = nullptr;
};
