// The readers of the field's formats against ASE and gemmi (Debian's
// /usr/bin/python3) on files written here: CIF with symmetry, charges, mixed
// sites and several data blocks, mmCIF models, LAMMPS data in every atom
// style, dumps with scaled, unwrapped and unsorted columns, and gzip.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/elements.h"
#include "io/format_registry.h"
#include "io/lammps.h"
#include "io/text_source.h"
#include "test_support.h"

namespace {

// What a Python snippet that leaves `atoms` (ASE) behind says about it.
std::string RunPython(const ScratchDir& dir, const std::string& body)
{
    const std::string script =
        dir.write("oracle.py", "import sys, numpy as np\n" + body +
                                   "\nc = np.array(atoms.cell)\n"
                                   "print(int(atoms.pbc.any()), *c.flatten())\n"
                                   "for z, p in zip(atoms.numbers, atoms.positions): print(z, *p)\n");
    const Outcome o = Python(script + " 2>&1");
    EXPECT_EQ(o.status, 0) << o.out;
    return o.out;
}

// The structure the oracle printed: its cell rows are the cell vectors.
Structure Oracle(const std::string& text)
{
    Structure s;
    std::istringstream in(text);
    int periodic = 0;
    in >> periodic;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            in >> s.cell[row][col];
    s.periodic = periodic != 0;
    int z;
    glm::dvec3 r;
    while (in >> z >> r.x >> r.y >> r.z) {
        s.e.push_back(unsigned(z - 1));
        s.r.push_back(r);
    }
    s.ok = in.eof() && !s.e.empty();
    return s;
}

const char* const CELL_CUBIC =
    "_cell_length_a 5.64\n_cell_length_b 5.64\n_cell_length_c 5.64\n"
    "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n";

std::string SiteLoop(const std::string& rows)
{
    return "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
           "_atom_site_fract_z\n" +
           rows;
}

struct Case {
    const char* name;  // file name: its format is told from it
    std::string text;
    const char* oracle;  // ASE snippet reading `path` into `atoms`
};

TEST(Formats, ReadersAgreeWithAseAndGemmi)
{
    ScratchDir dir("tesk_formats");
    const std::string rutile_ops =
        "loop_\n_symmetry_equiv_pos_as_xyz\nx,y,z\n-x,-y,z\n-y+1/2,x+1/2,z+1/2\ny+1/2,-x+1/2,z+1/2\n"
        "-x+1/2,y+1/2,-z+1/2\nx+1/2,-y+1/2,-z+1/2\ny,x,-z\n-y,-x,-z\n-x,-y,-z\nx,y,-z\ny+1/2,-x+1/2,-z+1/2\n"
        "-y+1/2,x+1/2,-z+1/2\nx+1/2,-y+1/2,z+1/2\n-x+1/2,y+1/2,z+1/2\n-y,-x,z\ny,x,z\n";
    const std::string rutile_cell =
        "_cell_length_a 4.594\n_cell_length_b 4.594\n_cell_length_c 2.959\n"
        "_cell_angle_alpha 90\n_cell_angle_beta 90\n_cell_angle_gamma 90\n";
    const std::string dump_head = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n3\n";
    const Case cases[] = {
        // H-M symbol, charged type symbols, sites on faces merged once
        {"salt.cif",
         std::string("data_NaCl\n") + CELL_CUBIC + "_symmetry_space_group_name_H-M 'F m -3 m'\n" +
             SiteLoop("Na1 Na1+ 0 0 0\nCl1 Cl1- 0.5 0.5 0.5\n"),
         "import ase.io\natoms = ase.io.read(path)"},
        // listed operations, labels only ("Ti1a" is titanium, not T or Ti1)
        {"rutile.cif",
         "data_TiO2\n" + rutile_cell + "_symmetry_space_group_name_H-M 'P 42/m n m'\n" + rutile_ops +
             "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
             "Ti1a 0 0 0\nO1 0.3053 0.3053 0\n",
         "import ase.io\natoms = ase.io.read(path)"},
        // the Hall symbol alone; Cartesian sites
        {"hall.cif",
         "data_x\n" + rutile_cell + "_space_group_name_Hall '-P 4n 2n'\n" +
             "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_Cartn_x\n_atom_site_Cartn_y\n"
             "_atom_site_Cartn_z\nTi1 Ti4+ 0 0 0\nO1 O2- 1.40255 1.40255 0\n",
         "import ase.io\natoms = ase.io.read(path.replace('hall', 'rutile'))"},
        // models of an mmCIF: the first one's atoms
        {"two.mmcif",
         "data_t\n_cell.length_a 20\n_cell.length_b 21\n_cell.length_c 22\n_cell.angle_alpha 90\n"
         "_cell.angle_beta 90\n_cell.angle_gamma 90\nloop_\n_atom_site.group_PDB\n_atom_site.id\n"
         "_atom_site.type_symbol\n_atom_site.label_atom_id\n_atom_site.label_alt_id\n_atom_site.label_comp_id\n"
         "_atom_site.label_asym_id\n_atom_site.label_seq_id\n_atom_site.Cartn_x\n_atom_site.Cartn_y\n"
         "_atom_site.Cartn_z\n_atom_site.occupancy\n_atom_site.B_iso_or_equiv\n_atom_site.auth_seq_id\n"
         "_atom_site.pdbx_PDB_model_num\n"
         "ATOM 1 N N . GLY A 1 1.0 2.0 3.0 1 0 1 1\nATOM 2 C CA . GLY A 1 2.2 2.0 3.0 1 0 1 1\n"
         "HETATM 3 FE FE . HEM B . 5 5 5 1 0 2 1\nATOM 4 N N . GLY A 1 1.5 2.0 3.0 1 0 1 2\n"
         "ATOM 5 C CA . GLY A 1 2.7 2.0 3.0 1 0 1 2\nHETATM 6 FE FE . HEM B . 6 5 5 1 0 2 2\n",
         "import gemmi\nfrom ase import Atoms\nst = gemmi.read_structure(path)\n"
         "at = [a for ch in st[0] for r in ch for a in r]\n"
         "atoms = Atoms(numbers=[a.element.atomic_number for a in at], positions=[a.pos.tolist() for a in at],"
         " cell=[[20,0,0],[0,21,0],[0,0,22]], pbc=True)"},
        // LAMMPS data, styles told by comment and by column count, triclinic
        {"full.data",
         "water\n\n3 atoms\n2 bonds\n2 atom types\n1 bond types\n\n0 10 xlo xhi\n0 11 ylo yhi\n0 12 zlo zhi\n"
         "1.0 0.5 -0.5 xy xz yz\n\nMasses\n\n1 15.9994\n2 1.008\n\nAtoms # full\n\n"
         "3 1 2 0.4 9.6 1.5 1.0 0 0 0\n1 1 1 -0.8 0.2 1.0 1.0 0 0 0\n2 1 2 0.4 1.0 1.5 1.0 0 1 0\n\n"
         "Bonds\n\n1 1 1 2\n2 1 1 3\n",
         "from ase.io.lammpsdata import read_lammps_data\n"
         "atoms = read_lammps_data(path, style='full', Z_of_type={1: 8, 2: 1}, sort_by_id=True)"},
        {"atomic.data",
         "Cu\n\n2 atoms\n1 atom types\n0 3.6 xlo xhi\n0 3.6 ylo yhi\n0 3.6 zlo zhi\n\n"
         "Masses\n\n1 63.546\n\nAtoms\n\n2 1 1.8 1.8 0 0 0 1\n1 1 0 0 0 0 0 0\n",
         "from ase.io.lammpsdata import read_lammps_data\n"
         "atoms = read_lammps_data(path, style='atomic', Z_of_type={1: 29}, sort_by_id=True)"},
        {"charge.data",
         "NaCl\n\n2 atoms\n2 atom types\n0 5 xlo xhi\n0 5 ylo yhi\n0 5 zlo zhi\n\n"
         "Masses\n\n1 22.99\n2 35.45\n\nAtoms # charge\n\n1 1 1.0 0 0 0\n2 2 -1.0 2.5 2.5 2.5\n",
         "from ase.io.lammpsdata import read_lammps_data\n"
         "atoms = read_lammps_data(path, style='charge', Z_of_type={1: 11, 2: 17}, sort_by_id=True)"},
        {"molecular.data",
         "CO\n\n2 atoms\n2 atom types\n0 9 xlo xhi\n0 9 ylo yhi\n0 9 zlo zhi\n\n"
         "Masses\n\n1 12.011\n2 15.999\n\nAtoms\n\n1 7 1 4 4 4\n2 7 2 5.13 4 4\n",
         "from ase.io.lammpsdata import read_lammps_data\n"
         "atoms = read_lammps_data(path, style='molecular', Z_of_type={1: 6, 2: 8}, sort_by_id=True)"},
        // dumps: unsorted ids, scaled positions in a triclinic box
        {"dump.scaled",
         dump_head + "ITEM: BOX BOUNDS xy xz yz pp pp pp\n-0.5 10.5 0.5\n0 8 0\n0 9 0\n"
                     "ITEM: ATOMS id type xs ys zs\n3 2 0.5 0.5 0.5\n1 1 0.1 0.1 0.1\n2 1 0.2 0.1 0.1\n",
         "import ase.io\natoms = ase.io.read(path, format='lammps-dump-text')\n"
         "atoms.numbers = [29 if n == 1 else 40 for n in atoms.numbers]"},
        {"dump.unwrapped",
         dump_head + "ITEM: BOX BOUNDS pp pp pp\n0 10\n0 10\n0 10\n"
                     "ITEM: ATOMS element id xu yu zu\nZr 2 11 1 1\nCu 1 -1 2 3\nCu 3 5 5 5\n",
         "import ase.io\natoms = ase.io.read(path, format='lammps-dump-text')\n"
         "atoms.numbers = [29, 40, 29]"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.path(c.name);
        std::ofstream(path) << c.text;
        const Structure expected = Oracle(RunPython(dir, "path = '" + path + "'\n" + c.oracle));
        EXPECT_TRUE(expected.ok) << c.name;
        // the same file gzip-compressed reads the same
        ASSERT_EQ(std::system(("gzip -kf " + path).c_str()), 0);
        for (const std::string& file : {path, path + ".gz"}) {
            CModel model;
            // a dump without elements or masses: --types 1=Cu,2=Zr
            if (file.find("dump.scaled") != std::string::npos)
                model.read_options.type_elements = {{1, 28}, {2, 39}};
            const bool ok = model.ReadFile(".", file, int(io::Detect(file)));
            Structure read{ok, model.IsPeriodic(), model.Cell(), model.Elements(), {}};
            for (const glm::vec3& p : model.Positions())
                read.r.push_back(glm::dvec3(p) + glm::dvec3(model.Centre()));
            ExpectSameStructure(expected, read, true, io::RefusalText(file, model.ReadRefusal()));
        }
    }
    // without the map, each type is a dummy species of its own, and bonds to nothing
    CModel model;
    ASSERT_TRUE(model.ReadFile(".", dir.path("dump.scaled"), int(io::Detect(dir.path("dump.scaled")))));
    EXPECT_EQ(model.Elements(), (std::vector<unsigned>{DummySpecies(1), DummySpecies(1), DummySpecies(2)}));
    EXPECT_NE(atom_rgbs[DummySpecies(1)], atom_rgbs[DummySpecies(2)]);
    EXPECT_EQ(model.BondCount(), 0u);
}

// A CIF written by Tesk is the same structure to ASE and to gemmi: P 1, the
// cell, fractional positions; occupancies written back.
TEST(Formats, CifAndMmcifWrittenReadBackByAseAndGemmi)
{
    ScratchDir dir("tesk_cif_write");
    const std::string in = dir.path("mixed.cif");
    // a mixed site (Fe 0.7 / Co 0.3), a partly occupied one (O 0.5), in P m -3 m
    std::ofstream(in) << "data_m\n"
                      << CELL_CUBIC << "_symmetry_space_group_name_H-M 'P m -3 m'\n"
                      << "loop_\n_atom_site_label\n_atom_site_type_symbol\n_atom_site_fract_x\n_atom_site_fract_y\n"
                         "_atom_site_fract_z\n_atom_site_occupancy\nFe1 Fe 0 0 0 0.7\nCo1 Co 0 0 0 0.3\n"
                         "O1 O 0.5 0 0 0.5\n";
    CModel model;
    ASSERT_TRUE(model.ReadFile(".", in, int(io::Detect(in))));
    EXPECT_EQ(model.Elements(), (std::vector<unsigned>{25, 7, 7, 7})) << "iron wins its site; O on three faces";
    EXPECT_EQ(model.Notes(), "4 sites mixed or partly occupied, each drawn as its species of larger occupancy");
    for (const char* name : {"back.cif", "back.mmcif"}) {
        const std::string out = dir.path(name);
        ASSERT_TRUE(model.SaveFileAs(out, int(io::Detect(out)))) << model.Notes();
        const std::string reader = std::string(name) == "back.cif"
                                       ? "import ase.io\natoms = ase.io.read(path)"
                                       : "import gemmi\nfrom ase import Atoms\n"
                                         "st = gemmi.read_structure(path)\n"
                                         "at = [a for ch in st[0] for r in ch for a in r]\n"
                                         "atoms = Atoms(numbers=[a.element.atomic_number for a in at],"
                                         " positions=[a.pos.tolist() for a in at],"
                                         " cell=st.cell.orthogonalization_matrix.tolist(), pbc=True)\n"
                                         "atoms.cell = atoms.cell.T";
        const Structure expected = Oracle(RunPython(dir, "path = '" + out + "'\n" + reader));
        ExpectSameStructure(expected, ReadBack(in), true, name);
        ExpectSameStructure(expected, ReadBack(out), true, std::string(name) + " by Tesk");
    }
    // gemmi's small-structure reader sees the occupancies and type symbols
    const Outcome occ = Python(
        dir.write("occ.py", "import gemmi\ns = gemmi.read_small_structure('" + dir.path("back.cif") +
                                "')\nprint(s.spacegroup_hm, [(x.type_symbol, round(x.occ, 2)) for x in s.sites])\n"));
    ASSERT_EQ(occ.status, 0);
    EXPECT_EQ(occ.out, "P 1 [('Fe', 0.7), ('O', 0.5), ('O', 0.5), ('O', 0.5)]\n");
}

// Several data blocks: the first with atoms opens, and the message says so.
// Frames: mmCIF models and dump timesteps, gzip-compressed too, backward.
TEST(Formats, BlocksModelsAndCompressedFramesBackAndForth)
{
    ScratchDir dir("tesk_frames");
    const std::string blocks = dir.path("blocks.cif");
    std::ofstream(blocks) << "data_empty\n_journal_year 2020\n\ndata_salt\n"
                          << CELL_CUBIC << SiteLoop("Na1 Na 0 0 0\n") << "\ndata_other\n"
                          << CELL_CUBIC << SiteLoop("K1 K 0 0 0\n");
    CModel model;
    ASSERT_TRUE(model.ReadFile(".", blocks, int(io::Detect(blocks))));
    EXPECT_EQ(model.Elements(), std::vector<unsigned>{10});
    EXPECT_EQ(model.Notes(), "3 data blocks; shown: salt");

    std::string dump;
    for (int step = 0; step < 5; ++step)
        dump += "ITEM: TIMESTEP\n" + std::to_string(step) +
                "\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n"
                "0 10\n0 10\n0 10\nITEM: ATOMS id element x y z\n2 O " +
                std::to_string(step) + " 5 5\n1 H 1 1 1\n";
    std::ofstream(dir.path("run.dump")) << dump;
    ASSERT_EQ(std::system(("gzip -kf " + dir.path("run.dump")).c_str()), 0);
    for (const std::string name : {"run.dump", "run.dump.gz"}) {
        ASSERT_TRUE(model.ReadFile(".", dir.path(name), int(io::Detect(dir.path(name))))) << name;
        EXPECT_EQ(model.GetFrameCount(), 5u) << name;
        for (std::size_t k : {4u, 1u, 3u, 0u}) {
            ASSERT_TRUE(model.SetFrame(k)) << name << " frame " << k << ": " << model.FrameMessage();
            EXPECT_NEAR(model.Positions()[1].x + model.FrameCentre().x, float(k), 1e-5) << name << k;
            EXPECT_EQ(model.Elements(), (std::vector<unsigned>{0, 7})) << "atoms in id order";
        }
    }

    // A file read after another keeps none of its periodic axes, and a Wrap
    // reaches every frame of a table format's trajectory.
    std::string outside;
    for (int step = 0; step < 3; ++step)
        outside += "ITEM: TIMESTEP\n" + std::to_string(step) +
                   "\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n0 10\n0 10\n0 10\n"
                   "ITEM: ATOMS id element x y z\n2 O " +
                   std::to_string(12 + step) + " 5 5\n1 H 1 1 1\n";
    std::ofstream(dir.path("out.dump")) << outside;
    std::ofstream(dir.path("flat.xyz")) << "1\nLattice=\"10 0 0 0 10 0 0 0 10\" pbc=\"F T T\"\nH 0 0 0\n";
    CModel wrapped;
    ASSERT_TRUE(wrapped.ReadFile(".", dir.path("flat.xyz"), int(io::Format::Xyz)));
    ASSERT_TRUE(wrapped.ReadFile(".", dir.path("out.dump"), int(io::Format::LammpsDump)));
    ASSERT_TRUE(wrapped.Wrap());
    for (std::size_t k : {2u, 0u, 1u}) {
        ASSERT_TRUE(wrapped.SetFrame(k)) << wrapped.FrameMessage();
        EXPECT_NEAR(wrapped.Positions()[1].x + wrapped.FrameCentre().x, 2.0f + float(k), 1e-4) << k;
    }
}

// Atoms of types without a known element keep their own colour (the
// dummy species of their type number) through a LAMMPS save and read.
TEST(Formats, LammpsTypesWithoutAnElementKeepTheirSpeciesThroughASave)
{
    ScratchDir dir("tesk_types");
    const std::string in = dir.write("in.data",
                                     "types\n\n3 atoms\n24 atom types\n\n0 10 xlo xhi\n0 10 ylo yhi\n"
                                     "0 10 zlo zhi\n\nAtoms # atomic\n\n"
                                     "1 1 1 1 1\n2 24 2 2 2\n3 2 3 3 3\n");
    CModel model, back;
    ASSERT_TRUE(model.ReadFile(".", in, int(io::Format::LammpsData))) << model.ReadRefusal().reason;
    ASSERT_EQ(model.Elements(), (std::vector<unsigned>{DummySpecies(1), DummySpecies(24), DummySpecies(2)}));
    ASSERT_TRUE(model.SaveFileAs(dir.path("out.data"), int(io::Format::LammpsData))) << model.Notes();
    ASSERT_TRUE(back.ReadFile(".", dir.path("out.data"), int(io::Format::LammpsData)));
    EXPECT_EQ(back.Elements(), model.Elements());
}

// Every refusal names its line and says what is wrong with it.
TEST(Formats, RefusalsNameTheLineAndTheReason)
{
    ScratchDir dir("tesk_refusals");
    const struct {
        const char* name;
        const char* text;
        const char* message;
    } rows[] = {
        {"bad.xyz", "3\nc\nO 0 0 0\nH 1 0 0\nH 1.5 zz 0\n", "bad.xyz line 5: \"1.5 zz 0\" is not three numbers"},
        {"short.xyz", "3\nc\nO 0 0 0\nH 1 0 0\n", "short.xyz line 1: the count 3 is more atoms than the file can hold"},
        {"bad.cif", "data_x\n_cell_length_a 'open\n", "bad.cif line 2: "},
        {"nocell.cif", "data_x\nloop_\n_atom_site_label\nO1\n", "nocell.cif: block x has no _cell_length_a/b/c"},
        {"bad.data",
         "t\n\n2 atoms\n1 atom types\n0 1 xlo xhi\n0 1 ylo yhi\n0 1 zlo zhi\n\nAtoms\n\n1 1 0 0 0\n"
         "2 1 0 zz 0\n",
         "bad.data line 12: \"2 1 0 zz 0\" is not an atom line of style atomic"},
        {"few.data", "t\n\n3 atoms\n1 atom types\n0 1 xlo xhi\n0 1 ylo yhi\n0 1 zlo zhi\n\nAtoms\n\n1 1 0 0 0\n",
         "few.data line 11: Atoms holds 1 lines, the header counts 3"},
        {"bad.dump",
         "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS pp pp pp\n0 1\n0 1\n0 1\n"
         "ITEM: ATOMS id type x y z\n1 1 0.000 0.000 0.000\n",
         "bad.dump line 10: the frame ends after 1 of 2 atoms"},
    };
    for (const auto& r : rows) {
        std::ofstream(dir.path(r.name)) << r.text;
        CModel model;
        EXPECT_FALSE(model.ReadFile(".", dir.path(r.name), int(io::Detect(dir.path(r.name))))) << r.name;
        EXPECT_EQ(io::RefusalText(r.name, model.ReadRefusal()).rfind(r.message, 0), 0u)
            << io::RefusalText(r.name, model.ReadRefusal());
    }
}

// Each reader's refusals at their limits, through the format table: the file
// just inside a limit reads, the one just past it is refused at its line,
// for its reason.
TEST(Formats, RefusalsAtTheirLimits)
{
    ScratchDir dir("tesk_limits");
    auto data = [](const std::string& head, const std::string& atoms) {
        return "t\n\n" + head + "1 atom types\n0 1 xlo xhi\n0 1 ylo yhi\n0 1 zlo zhi\n\nAtoms # atomic\n\n" + atoms;
    };
    auto dump = [](const std::string& count, const std::string& box, const std::string& atoms) {
        return "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n" + count + "\nITEM: BOX BOUNDS " + box + atoms;
    };
    const std::string box = "pp pp pp\n0 1\n0 1\n0 1\nITEM: ATOMS id type x y z\n";
    auto cif = [](const std::string& cell, const std::string& sites) {
        return "data_x\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_beta 90\n_cell_angle_gamma 90\n" + cell +
               "loop_\n_atom_site_label\n" + sites;
    };
    const std::string fract = "_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n";
    const std::string mmcif =
        "data_m\n_cell.length_a 1\n_cell.length_b 1\n_cell.length_c 1\n_cell.angle_alpha 90\n"
        "_cell.angle_beta 90\n_cell.angle_gamma 90\nloop_\n_atom_site.type_symbol\n_atom_site.Cartn_x\n"
        "_atom_site.Cartn_y\n_atom_site.Cartn_z\n";
    const struct {
        const char* name;
        std::string text;
        std::size_t line;  // 0: the file reads
        std::string reason;
        bool periodic = true;
    } rows[] = {
        // LAMMPS data: 1 to 2e9 atoms, counts not negative, lo < hi, lines as counted, three image flags
        {"a.data", data("2000000000 atoms\n", "1 1 0 0 0\n"), 11, "Atoms holds 1 lines, the header counts 2000000000"},
        {"a.data", data("2000000001 atoms\n", "1 1 0 0 0\n"), 9, "the header's atom count 2000000001 is out of range"},
        {"a.data", data("0 atoms\n", "1 1 0 0 0\n"), 9, "the header's atom count 0 is out of range"},
        {"a.data", data("1 atoms\n-1 bonds\n", "1 1 0 0 0\n"), 4,
         "\"-1 bonds\" is no header line of a LAMMPS data file"},
        {"a.data", "t\n\n1 atoms\n0 1 xlo xhi\n0 0 ylo yhi\n0 1 zlo zhi\n\nAtoms\n\n1 1 0 0 0\n", 8,
         "the box has no ylo yhi line with lo < hi"},
        {"a.data", data("1 atoms\n", "1 1 0 0 0\n2 1 0 0 0\n"), 12, "more lines in Atoms than the header counts"},
        {"a.data", data("2 atoms\n", "1 1 0 0 0\n1 1 0 0 0\n"), 0, "atom id 1 is given twice"},
        {"a.data", data("1 atoms\n1 bonds\n", "1 1 0 0 0\n"), 12,
         "the header counts 1 bonds, but there is no Bonds section"},
        {"a.data", data("1 atoms\n", "1 1 0 0\n"), 11, "\"1 1 0 0\" is not an atom line of style atomic"},
        {"a.data", data("1 atoms\n", "1 1 0 0 0 0 0 0 x\n"), 0, ""},  // a ninth word is passed over
        {"a.data", data("1 atoms\n", "1 1 0 0 0 0 0 x\n"), 11, "\"1 1 0 0 0 0 0 x\": column 8 is not an image flag"},
        // dumps: 1 to 2e9 atoms, no more than lines of five words follow, types that fit an int
        {"a.dump", dump("2", box, "1 1 0 0 0\n2 1 0 0 0"), 0, ""},
        {"a.dump", dump("3", box, "1 1 0 0 0\n2 1 0 0 0"), 4, "the count 3 is more atoms than the frame holds"},
        {"a.dump", dump("2000000000", box, "1 1 0 0 0\n"), 4,
         "the count 2000000000 is more atoms than the frame holds"},
        {"a.dump", dump("2000000001", box, "1 1 0 0 0\n"), 4, "\"2000000001\" is not a count of atoms"},
        {"a.dump", dump("0", box, "1 1 0 0 0\n"), 4, "\"0\" is not a count of atoms"},
        {"a.dump", dump("1", "xy xz yz pp pp pp\n0 1 0\n0 1\n0 1 0\n", "ITEM: ATOMS x y z\n0 0 0\n"), 7,
         "\"0 1\" is not three box numbers"},
        {"a.dump", dump("1", box, "1 1 0.00 0.00\n"), 10, "\"1 1 0.00 0.00\" has fewer than 5 columns"},
        {"a.dump", dump("1", box, "1 2147483647 0 0 0\n"), 0, ""},
        {"a.dump", dump("1", box, "1 2147483648 0 0 0\n"), 10, "\"1 2147483648 0 0 0\": column 2 is not a number"},
        {"a.dump", dump("2", box, "1 1 0 0 0\n1 1 0 0 0\n"), 0, "atom id 1 is given twice in one frame"},
        // CIF: lengths above 0, angles below 180 that close a cell, coordinate columns and numbers
        {"a.cif", cif("_cell_length_a 5\n_cell_angle_alpha 179\n", fract + "O1 0 0 0\n"), 0, ""},
        {"a.cif", cif("_cell_length_a 5\n_cell_angle_alpha 180\n", fract + "O1 0 0 0\n"), 0,
         "block x has no usable cell (a angle)"},
        {"a.cif", cif("_cell_length_a 0\n_cell_angle_alpha 90\n", fract + "O1 0 0 0\n"), 0,
         "block x has no usable cell (a length)"},
        {"a.cif",
         "data_x\n_cell_length_a 5\n_cell_length_b 5\n_cell_length_c 5\n_cell_angle_alpha 150\n"
         "_cell_angle_beta 90\n_cell_angle_gamma 60\nloop_\n_atom_site_label\n" +
             fract + "O1 0 0 0\n",
         0, "block x has a cell of no volume"},
        {"a.cif", cif("_cell_length_a 5\n_cell_angle_alpha 90\n", "_atom_site_occupancy\nO1 1\n"), 0,
         "block x has atom sites without _atom_site_fract_x/y/z or Cartn_x/y/z"},
        {"a.cif", cif("_cell_length_a 5\n_cell_angle_alpha 90\n", fract + "O1 ? 0 0\n"), 0,
         "atom site O1 has no number for its x coordinate"},
        {"a.cif",
         cif("_cell_length_a 5\n_cell_angle_alpha 90\n_symmetry_space_group_name_H-M 'Q 9'\n", fract + "O1 0 0 0\n"), 0,
         "space group \"Q 9\" is not known"},
        // mmCIF: a table with rows, numbers for coordinates; the 1 A placeholder cell is none
        {"a.mmcif", mmcif + "O 0 0 0\n", 0, "", false},
        {"a.mmcif", mmcif + "O 0 ? 0\n", 0, "atom site 1 has no number for Cartn_x, y or z"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text.substr(r.text.size() > 50 ? r.text.size() - 50 : 0));
        const std::string path = dir.write(r.name, r.text);
        const io::FormatEntry* entry = io::FindFormat(io::Detect(path));
        ASSERT_NE(entry, nullptr);
        std::string text;
        io::Refusal refusal;
        io::Structure s;
        ASSERT_TRUE(io::ReadInput(path, text, refusal));
        ExpectRefusal(entry->read(text, io::ReadOptions(), s, refusal), refusal, r.line, r.reason);
        EXPECT_TRUE(!r.reason.empty() || s.is_periodic == r.periodic);
    }
    // LAMMPS type numbers from 1 to 1e6
    std::map<int, unsigned> types;
    std::string why;
    EXPECT_TRUE(io::ParseTypeMap("1=H,1000000=Cu", types, why));
    for (const char* bad : {"0=H", "1000001=H"})
        EXPECT_FALSE(io::ParseTypeMap(bad, types, why)) << bad;
    // a path that is no file says what it is
    io::Refusal refusal;
    EXPECT_FALSE(io::CheckInput(dir.root, refusal));
    EXPECT_EQ(refusal.reason, "is a folder");
}

// PDB entries read by columns: a chain letter from the third record on, and
// hydrogen names of four characters in standard residues.
TEST(Formats, PdbColumnsWithLateChainsAndLongHydrogenNames)
{
    ScratchDir dir("tesk_pdb_mend");
    const std::string path = dir.path("late.pdb");
    std::ofstream(path) << "ATOM      1  N   ALA     1      11.104   6.134  -6.504  1.00  0.00\n"
                           "ATOM      2 Hg13 ALA     1      11.639   6.071  -5.147  1.00  0.00\n"
                           "ATOM      3 HH31 ALA A   2      12.000   6.500  -4.000  1.00  0.00\n"
                           "HETATM    4 HG   HG  A   3      13.000   7.500  -3.000  1.00  0.00\n";
    CModel model;
    ASSERT_TRUE(model.ReadFile(".", path, int(io::Detect(path)))) << io::RefusalText(path, model.ReadRefusal());
    EXPECT_EQ(model.Elements(), (std::vector<unsigned>{6, 0, 0, 79}));
}

}  // namespace
