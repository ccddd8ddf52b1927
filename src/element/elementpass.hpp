// State of one element pass, shared by the scalar path (feforce.cpp) and the
// batched paths (feforce_<width>.cpp).
//
// A batched path takes W consecutive elements at a time, one per lane, and
// hands a batch to `elementscalar`, element by element in element order,
// when the lanes cannot run side by side: mixed materials, a history record
// used twice, a material type without a batched update, or a non-positive
// volume (the scalar path then stops at the first bad element, after the
// elements before it). The running step and distortion minima and the strain
// energy are updated lane after lane in element order, and the corner forces
// are scattered lane after lane, so every width adds the same numbers in the
// same order as the scalar path.
#pragma once

#include "model/model.hpp"

struct elementpass {
    int ne;                 // elements of the process
    const element* elist;   // element records
    history* hlist;         // history records
    const material* mlist;  // material records
    const double* pos;      // node positions
    const double* vel;      // node velocities
    double* acc;            // nodal forces, accumulated
    double dtk;             // step just taken
    int hgmode;             // hourglass method acting: 0 none, 1 standard, 2 Flanagan-Belytschko
    double hgq;             // hourglass coefficient
    double dtmin;           // running minimum of the element steps
    double edist;           // running minimum of the distortion ratios
    bool bulk;              // bulk viscosity on
    double q1, q2;          // its linear and quadratic coefficients
    bool eosstep;           // step from the equation of state's wave speed where larger
    bool stable;            // step bounded by the free element's highest frequency ("stab on")
    double* hgacc;          // hourglass forces, accumulated apart for the energy balance, or null
    bool midstep;           // strain increment and spin from the mid-step geometry ("midg")
    bool math;              // the solver's own pow, log and exp ("math on", numerics/ownmath.hpp)
};

// The Johnson-Cook return of "cons on" (jcreturn of models.hpp, reference
// rate 1e-3) of one lane: trial value q above the yield stress sy, plastic
// strain ep0, 3G = g3, flow stress times `weaken` (coupled damage, else
// 1); sets the plastic increment dp and returns the yield stress the step
// ends at (feforce.cpp).
double johnsoncookreturn(const material& m, double q, double sy, double ep0, double g3, double dtk,
                         double weaken, double& dp);

// The return of one yielding lane of the models that return onto their
// curve lane by lane (jcth, plaw, voce: svr5 to svr7 of models.hpp, the
// same scalar code): trial value q above the yield stress sy, 3G = g3,
// density den, flow stress of jcth times `weaken` (coupled damage, else 1);
// updates the plastic strain ep and (jcth) the temperature temp and returns
// the yield stress the step ends at (feforce.cpp).
double curvereturnlane(const material& m, double q, double sy, double g3, double dtk, double den,
                       double weaken, double& ep, double& temp);

// Element e (0-based) the scalar way: gather, kernels, stress update, scatter.
void elementscalar(elementpass& p, int e);

// The whole pass in batches of 2, 4 and 8 lanes. The AVX2 and AVX-512 ones
// may run only where simd::supported says so.
void elementpass_sse2(elementpass& p);
void elementpass_avx2(elementpass& p);
void elementpass_avx512(elementpass& p);

// The solver's own log (fn 0), exp (1) and pow (2) of numerics/ownmath.hpp
// in the lanes of each width, as the batched pass computes them, over n
// values (n a multiple of 8): out[i] = f(x[i]) or pow(x[i], y[i]). For the
// tests that every width gives the bits of the scalar functions.
void ownmath_sse2(int fn, const double* x, const double* y, double* out, int n);
void ownmath_avx2(int fn, const double* x, const double* y, double* out, int n);
void ownmath_avx512(int fn, const double* x, const double* y, double* out, int n);
