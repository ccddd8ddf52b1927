// A 40 x 20 x 10 (mm, in metres) block meshed with 8 x 4 x 2 hexahedra.
// Mesh it with:  gmsh -3 -format msh41 block.geo -o block.msh
SetFactory("Built-in");

lx = 0.04; ly = 0.02; lz = 0.01;
nx = 8; ny = 4; nz = 2;

Point(1) = {0, 0, 0};
Point(2) = {lx, 0, 0};
Point(3) = {lx, ly, 0};
Point(4) = {0, ly, 0};
Line(1) = {1, 2};
Line(2) = {2, 3};
Line(3) = {3, 4};
Line(4) = {4, 1};
Curve Loop(1) = {1, 2, 3, 4};
Plane Surface(1) = {1};
Transfinite Curve{1, 3} = nx + 1;
Transfinite Curve{2, 4} = ny + 1;
Transfinite Surface{1};
Recombine Surface{1};

// Extrude the quadrangles into hexahedra: out[0] is the top surface,
// out[1] the volume, out[2..5] the sides on lines 1..4.
out[] = Extrude {0, 0, lz} { Surface{1}; Layers{nz}; Recombine; };

Physical Surface("bottom", 1) = {1};
Physical Surface("top", 2) = {out[0]};
Physical Surface("side x=0", 3) = {out[5]};
Physical Surface("side x=lx", 4) = {out[3]};
Physical Volume("block", 5) = {out[1]};
