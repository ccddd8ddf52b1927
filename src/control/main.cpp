// hexdyn: explicit transient dynamics of 3-D solids meshed with 8-node
// hexahedra. Every MPI process reads its own deck ("a", "b", ...) and the
// shared-node table "Comm" from the working directory, runs the time loop and
// writes its echo, curve and animation files.
#include <mpi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "control/checkpoint.hpp"
#include "control/integration.hpp"
#include "control/process.hpp"
#include "control/stopsignal.hpp"
#include "failure/failtable.hpp"
#include "input/datain.hpp"
#include "input/ffi.hpp"
#include "input/vocabulary.hpp"
#include "material/catalog.hpp"
#include "model/curvevariables.hpp"
#include "model/errorstop.hpp"
#include "model/model.hpp"
#include "output/records.hpp"
#include "output/units.hpp"

namespace {

const char* const usage =
    "usage: mpiexec.mpich -n N hexdyn [--restart]\n"
    "\n"
    "Runs the model of the decks \"a\", \"b\", ... (one per process) and the shared-node\n"
    "table \"Comm\" of the working directory; each process writes its echo, curve and\n"
    "animation files there.\n"
    "\n"
    "  --restart  continue a run from its latest checkpoint (a deck with \"chkp n\"\n"
    "             writes one every n steps to <deck>chkp.1 and <deck>chkp.2): the\n"
    "             same decks, \"Comm\" and number of processes; the result files\n"
    "             (energy.dat too) are cut back to their lengths at the checkpoint,\n"
    "             field files of later frames removed, and the run continued\n"
    "  --help     this text\n"
    "\n"
    "SIGTERM or SIGINT ends the run after the current step, with a checkpoint when\n"
    "checkpoints are on, and exit status 128 + the signal number.\n"
    "\n"
    "Plastic formulation (deck keywords, each off by default):\n"
    "  vmis on   the von Mises equivalent stress (shear components weighted 3) in\n"
    "            elas, pla1, pla2 and john: the yield whatever the mesh's\n"
    "            orientation (jcth, plaw and voce always)\n"
    "  cons on   john's plastic increment ends on its hardening curve with the\n"
    "            rate term; pla1 records its plastic strain (jcth always)\n"
    "  math on   pow, log and exp of the element pass and the material models are\n"
    "            the solver's own (at most 1 ulp off, the same bits on every\n"
    "            machine and SIMD width), not libm's; the returns onto the\n"
    "            hardening curves then run in the SIMD lanes (hexdyn-mesh writes it)\n"
    "  corr on   stab, midg, vmis and cons on, except those the deck sets itself\n"
    "            (hexdyn-mesh writes it)\n"
    "\n"
    "Time functions, driven bodies, constraint forces (deck keywords):\n"
    "  tfun F N T V ...  time function F (2..99; 1 is the \"time\" table): N points\n"
    "  load: node N X Y Z F, comp C X Y Z F  a load following function F (default 1)\n"
    "  move C A K F S    drive component C along A (x, y, z): K v the velocity, K d\n"
    "                    the displacement from the deck position, S f(t) of function F;\n"
    "                    a direction is held (fixd) or driven, not both\n"
    "  reac C            the force the constraints (rigid plane, fixd, move) put on\n"
    "                    component C, summed over the model, to forces.dat\n"
    "\n"
    "Rigid bodies (deck keyword):\n"
    "  rigd S [VX VY VZ WX WY WZ [HX HY HZ HR]]  the elements of material set S\n"
    "                    move as one rigid body, its centre starting at velocity V,\n"
    "                    spinning at W about it; H 1 holds the centre's velocity\n"
    "                    along x, y, z at V and (HR) its angular momentum, 0 leaves\n"
    "                    it free; rigid.dat gets its centre, velocities, angular\n"
    "                    momentum and kinetic energy\n"
    "\n"
    "Contact records of the \"cont\" block (up to \"endc\", S a material set):\n"
    "  scal F        penalty scale of the springs below the stop depth (0.1)\n"
    "  fric MUS MUD DC  Coulomb friction, static and dynamic coefficients, decay\n"
    "  part S ...    the sets in contact, all against all\n"
    "  pair S1 S2    contact between sets S1 and S2 only\n"
    "  psca S1 S2 F  the penalty scale between sets S1 and S2, in place of scal's\n"
    "  forc S1 S2    the contact force on set S1 from set S2, summed over the\n"
    "                model, to forces.dat (columns contS1_S2_x, _y, _z)\n"
    "\n"
    "Rigid walls, the \"wall\" block (up to \"endw\"): a shape record begins each\n"
    "wall, the records after it complete it; walls.dat gets the force on each wall\n"
    "and the energy it took out:\n"
    "  plan PX PY PZ NX NY NZ    plane through P, normal N towards the body\n"
    "  cyli PX PY PZ AX AY AZ R  cylinder of radius R, axis through P along A\n"
    "  sphe CX CY CZ R           sphere of centre C and radius R\n"
    "  edge EX EY EZ LA LB       plane: only the rectangle P + a E + b (N x E),\n"
    "                            a in 0..LA, b in 0..LB\n"
    "  leng L                    cylinder: only from P over L along A\n"
    "  insi                      cylinder, sphere: the body inside\n"
    "  move VX VY VZ             the wall moves at this velocity\n"
    "  fric MU                   Coulomb friction coefficient (0..10)\n"
    "  comp C                    only the nodes of component C\n";
// The help text closed by the paragraphs of the material words, of the
// curve variables and of the failure records.
const std::string usagetext =
    std::string(usage) + catalog::rateshelp() + curvevariables::help() + failtable::help();

}  // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &commnodes::myid);
    MPI_Comm_size(MPI_COMM_WORLD, &commnodes::nprocs);
    bool restart = false;
    for (int i = 1; i < argc; ++i) {
        // --restart once; a second one is named like any other word.
        if (std::strcmp(argv[i], "--restart") == 0 && !restart) {
            restart = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            if (commnodes::myid == 0) std::fputs(usagetext.c_str(), stdout);
            std::fflush(stdout);
            MPI_Finalize();
            return 0;
        } else {
            if (commnodes::myid == 0) {
                std::fprintf(stdout,
                             " *** Error *** unknown argument \"%s\" (argument %d): hexdyn "
                             "takes --restart alone, or --help; remove it\n%s",
                             argv[i], i, usagetext.c_str());
            }
            std::fflush(stdout);
            MPI_Finalize();
            return 2;
        }
    }
    try {
        errorstop::writeline(records::listed("Myid=", commnodes::myid));
        errorstop::writeline(records::listed("nprocs=", commnodes::nprocs));
        process::warnoversubscribed();
        double t0 = MPI_Wtime();
        ffi::continueresults = restart;
        datain::inputpara();
        checkpoint::schedule sched;
        if (restart) checkpoint::restore(sched);
        if (commnodes::myid == 0) {
            double t1 = MPI_Wtime();
            errorstop::writeline(
                records::listed("** Time for preprocessing is", t1 - t0, "seconds"));
            t0 = MPI_Wtime();
            if (restart)
                errorstop::writeline(" restarting at step " + std::to_string(simulation::istep) +
                                     " from checkpoint " +
                                     checkpoint::filename(static_cast<int>(
                                         (checkpoint::lastsequence() - 1) % 2 + 1)));
            errorstop::writeline(" solving...");
        }
        std::fflush(stdout);
        stopsignal::install();
        integration(sched);
        if (stopsignal::status() != 0) process::endonsignal(stopsignal::status());
        if (commnodes::myid == 0) {
            double t1 = MPI_Wtime();
            errorstop::writeline(records::listed("** Timefor computation is", t1 - t0, " seconds"));
        }
        ffi::closefiles();
    } catch (const errorstop::stop_exception& s) {
        // Writes out what the result files still hold, then ends the job.
        process::terminate(s.status);
    }
    std::fflush(stdout);
    MPI_Finalize();
    return 0;
}
