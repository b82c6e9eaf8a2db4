// RunWithScene.cs - runs a .NET program (an example of docs/examples) unchanged in a process whose
// library is the native shared build, after setting its scene:
//   RunWithScene.exe MODE CARD|none PROGRAM.exe [ARG...]
// (MODE: the machine value Mode; CARD: a card description file laid on the simulated reader).
using System;
using System.IO;
using System.Linq;

namespace Korva.Zuk.Tests
{
    static class RunWithScene
    {
        static int Main(string[] args)
        {
            Scene.SetUp(mode: uint.Parse(args[0]));
            if (args[1] != "none") Scene.LayCard(File.ReadAllText(args[1]));
            return AppDomain.CurrentDomain.ExecuteAssembly(args[2], args.Skip(3).ToArray());
        }
    }
}
