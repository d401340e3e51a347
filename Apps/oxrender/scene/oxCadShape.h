#pragma once

// Open CASCADE side of oxCadModel; included only by the few sources that talk to OCCT.

#include "oxCadModel.h"

#include <Bnd_Box.hxx>
#include <Geom2d_Curve.hxx>
#include <Geom_Curve.hxx>
#include <Geom_Surface.hxx>
#include <TopTools_IndexedDataMapOfShapeListOfShape.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

class BRepTopAdaptor_FClass2d;

struct oxCadModel::Impl
{
    explicit Impl(const TopoDS_Shape& shape);
    ~Impl();

    // An edge between two different faces.
    struct SharedEdge
    {
        int edge;     // index into edges, from 1
        int faces[2]; // indices into faces, from 1
    };

    TopoDS_Shape shape;
    TopTools_IndexedMapOfShape faces;
    TopTools_IndexedMapOfShape edges;
    TopTools_IndexedMapOfShape solids;
    std::vector<oxCadValidationProps> props;
    std::vector<SharedEdge> shared;
    std::vector<int> freeEdges; // edges of one face only, indices into edges
    double size = 0;
    // Per face (from 0): its surface with the face's placement applied, and whether the face is
    // reversed against it. Evaluation calls the surfaces directly: OCCT's geometry keeps no
    // evaluation state, so many threads may evaluate one surface at once. (Adaptors would keep a
    // B-spline span cache per thread, but on dense B-splines rebuilding it costs more than it saves.)
    std::vector<Handle(Geom_Surface)> surfaces;
    std::vector<bool> reversed;
    std::vector<std::vector<int>> edgeFaces; // per edge (from 1; [0] unused) the faces it bounds, from 0

    // The surface's point, oriented unit normal and principal curvatures (oxPrincipalCurvatures'
    // convention) at (u, v); false where the normal is undefined. Curvature only when asked for.
    bool evaluate(size_t face, double u, double v, gp_Pnt& point, gp_Vec& normal, double* kMax, double* kMin) const;

    // One edge of a face's boundary, sampled along its curve so that projections start near the
    // closest point.
    struct BoundaryEdge
    {
        int edge = 0; // index into edges, from 1
        Handle(Geom_Curve) curve;
        Handle(Geom2d_Curve) pcurve; // on this face
        double first = 0, last = 0, pfirst = 0, plast = 0;
        double tolerance = 0;
        double bow = 0; // how far the curve may stray from the chords between samples
        std::vector<double> parameters;
        std::vector<gp_Pnt> samples;
        Bnd_Box box;
    };
    // What a face's trim takes to test points against and to project onto, made when first asked for.
    struct Trim
    {
        Trim();
        ~Trim();
        std::once_flag once;
        std::atomic<bool> made{false}; // once done: call_once costs more than the test it guards
        std::unique_ptr<BRepTopAdaptor_FClass2d> classifier;
        // The classifier reads its wires from OCCT sequences, whose const access moves a shared
        // cursor: two threads classifying on one face at once read each other's wire.
        mutable std::mutex classifying;
        double u0 = 0, v0 = 0, u1 = 0, v1 = 0;
        std::vector<BoundaryEdge> edges; // seams and degenerate edges left out
        // The face's (u, v) bounds in cells: a cell no curve of the boundary comes near lies wholly
        // inside or wholly outside, and the classifier is asked once for each run of such cells.
        struct Grid
        {
            static constexpr int Cells = 128;
            enum State : std::int8_t
            {
                Crossed = -1,
                Out,
                In
            };
            double u0 = 0, v0 = 0, du = 0, dv = 0;
            std::vector<State> cells;
            // The cell of (u, v), or -1 outside the bounds.
            int cell(double u, double v) const;
        };
        // Made once the face has been asked about often enough to repay it; none where a curve of
        // its boundary has no bounded box.
        mutable std::atomic<int> asked{0};
        mutable std::once_flag gridOnce;
        mutable std::unique_ptr<Grid> gridMade;
        mutable std::atomic<bool> gridTried{false};
    };
    const Trim& trim(size_t face) const;
    // Whether (u, v), at the point at on the surface, lies inside the face's trim. Near an edge,
    // within its tolerance (a file's edges may lie that far from the surface's border), by the
    // classifier on the edges' own curves, whose ON is the edge's: closestOnBoundary finds those
    // points. Thread-safe.
    bool insideTrim(size_t face, double u, double v, const gp_Pnt& at) const;
    const Trim::Grid* trimGrid(size_t face, const Trim& t) const;

    // The point of a face's boundary nearest to p: on one of its edges, or at an edge's end.
    struct OnBoundary
    {
        gp_Pnt point;
        int edge = 0; // index into edges, from 1
        double parameter = 0;
        bool atVertex = false;
        double distance2 = std::numeric_limits<double>::infinity();
    };
    // Only points nearer than within, and on edges whose tolerance is at least tolerance; false
    // when there is none. Thread-safe.
    bool closestOnBoundary(size_t face, const gp_Pnt& p, OnBoundary& out,
                           double within = std::numeric_limits<double>::infinity(), double tolerance = 0) const;
    // The (u, v) on face of edge's point at parameter; false where the edge does not bound the face.
    bool uvOnEdge(size_t face, int edge, double parameter, double& u, double& v) const;

    // One Newton step of a ray (from hit along d) onto the surface from (u, v), where it has
    // point s and derivatives su, sv: (u, v) moved, and step the move in space. False where the
    // ray grazes the surface.
    static bool rayStep(const Geom_Surface& surface, const gp_Pnt& s, const gp_Vec& su, const gp_Vec& sv,
                        const gp_Pnt& hit, const gp_Vec& d, double& u, double& v, gp_Vec& step);
    // For a ray whose hit lies past face's trim: the face across the edge nearest to hit that the
    // ray meets inside its trim, and (u, v) there; false when there is none.
    bool rayAcrossEdge(size_t& face, const gp_Pnt& hit, const gp_Vec& d, double& u, double& v) const;

private:
    std::vector<std::unique_ptr<Trim>> _trims;
};
