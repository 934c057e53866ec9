using System.Reflection;
using System.Runtime.InteropServices;

[assembly: AssemblyTitle("Lumenix")]
[assembly: AssemblyDescription("Lumenix")]
[assembly: AssemblyCompany("Corvane")]
[assembly: AssemblyProduct("Lumenix")]
[assembly: AssemblyCopyright("Copyright (C) Corvane")]
[assembly: AssemblyVersion("1.1.1.511")]
[assembly: AssemblyFileVersion("1.1.1.511")]
[assembly: ComVisible(false)]
