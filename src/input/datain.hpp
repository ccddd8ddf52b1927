// Reading the input deck into the model data, keyword by keyword.
#pragma once

namespace datain {

// The whole input phase of one process: "Comm", the process's files, the deck.
void inputpara();
// Reads keyword records up to "endi".
void getdata();

void setmaterial();
void seteos();
// "bulk [Q1 Q2]": bulk viscosity on, with the usual coefficients unless given.
void setbulk();
// "fixd C FX FY FZ": the nodes of component C held along the axes flagged 1.
void setfixity();
// "tfun", "move", "reac": a further time function, a driven component, the
// constraint force of a component written to forces.dat.
void setfunction();
void setdrive();
void setreaction();
void setrigid();
// "cont": the penalty contact block, up to its "endc".
void setcontact();
// "fail": failure criteria of material sets and erosion, up to its "endf".
void setfailure();
// "wall": the rigid walls, up to its "endw".
void setwalls();
// "glob": the whole-model numbers of the process's nodes, then of its elements.
void setglobal();
void setparticle();
void setload();
void setvelocity();
bool setonoff();
void elememtin();

// Forgets which nodes, elements and materials the deck has given (reset).
void resetinput();

}  // namespace datain
